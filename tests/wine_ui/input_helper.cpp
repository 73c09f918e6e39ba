// What the windows scenario cannot do with xdotool alone: fill the clipboard as another program
// does, and deliver an input method's result to the focused edit control as the edit control
// receives it from the input method (one replacement of the selection by the whole result).
//
//   input_helper clip TEXT          puts TEXT on the clipboard
//   input_helper ime TITLE TEXT     the input method's result TEXT, into the focused control of
//                                   the window captioned TITLE
//   input_helper width TITLE N      prints the width in pixels of column N of that window's grid
//
// TITLE and TEXT are UTF-16 code units as hexadecimal digits, four a unit, so that no code page
// stands between the script and the program.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

std::wstring FromHex(const wchar_t* hex) {
    std::wstring out;
    for (const wchar_t* p = hex; p[0] && p[1] && p[2] && p[3]; p += 4) {
        out.push_back(static_cast<wchar_t>(std::wcstoul(std::wstring(p, 4).c_str(), nullptr, 16)));
    }
    return out;
}

bool Clip(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool ok = false;
    if (data) {
        auto* p = static_cast<wchar_t*>(GlobalLock(data));
        text.copy(p, text.size());
        p[text.size()] = L'\0';
        GlobalUnlock(data);
        ok = SetClipboardData(CF_UNICODETEXT, data) != nullptr;
    }
    CloseClipboard();
    return ok;
}

bool Ime(const std::wstring& title, const std::wstring& text) {
    HWND top = FindWindowW(nullptr, title.c_str());
    if (!top) return false;
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info) || !info.hwndFocus)
        return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(info.hwndFocus, EM_REPLACESEL, TRUE,
                               reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000,
                               &result) != 0;
}

bool Width(const std::wstring& title, int column) {
    HWND top = FindWindowW(nullptr, title.c_str());
    HWND grid = top ? FindWindowExW(top, nullptr, L"SysListView32", nullptr) : nullptr;
    if (!grid) return false;
    const auto width = SendMessageW(grid, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0);
    std::printf("%ld\n", static_cast<long>(width));
    return true;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool ok = false;
    if (argv && argc == 3 && std::wstring(argv[1]) == L"clip") {
        ok = Clip(FromHex(argv[2]));
    } else if (argv && argc == 4 && std::wstring(argv[1]) == L"ime") {
        ok = Ime(FromHex(argv[2]), FromHex(argv[3]));
    } else if (argv && argc == 4 && std::wstring(argv[1]) == L"width") {
        ok = Width(FromHex(argv[2]), std::stoi(argv[3]));
    }
    if (!ok) std::fputs("input_helper: failed\n", stderr);
    return ok ? 0 : 1;
}
