#include "com/module.h"

#include <atomic>

#include "com/win_message_boxes.h"

namespace quorvel::com {

HINSTANCE gInstance = nullptr;  // set once by DllMain before any other entry point runs

namespace {
std::atomic<long> gRefs{0};
WindowMessageBoxes gBoxes;  // stateless: one serves every thread
}  // namespace

HINSTANCE ModuleHandle() {
    return gInstance;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(gInstance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void AddModuleRef() {
    ++gRefs;
}
void ReleaseModuleRef() {
    --gRefs;
}
long ModuleRefs() {
    return gRefs.load();
}

void UseWindowMessageBoxes() {
    SetMessageBoxes(&gBoxes);
}

}  // namespace quorvel::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) quorvel::com::gInstance = instance;
    return TRUE;
}
