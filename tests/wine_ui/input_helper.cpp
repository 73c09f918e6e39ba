// What the windows scenario cannot do with xdotool alone: fill the clipboard as another program
// does, and deliver an input method's result to the focused edit control as the edit control
// receives it from the input method (one replacement of the selection by the whole result).
//
//   input_helper clip TEXT          puts TEXT on the clipboard
//   input_helper ime TITLE TEXT     the input method's result TEXT, into the focused control of
//                                   the window captioned TITLE
//   input_helper width TITLE N      prints the width in pixels of column N of that window's grid
//   input_helper cells TITLE        prints that window's grid, a line a row, cells split by "|"
//   input_helper selected TITLE     prints the selected item of its list box and of its grid
//                                   (0-based, -1 for none) and whether the list box shows its
//                                   vertical scroll bar (1 or 0)
//   input_helper glyphs TEXT        prints how many characters of TEXT the windows' font 宋体
//                                   has no glyph for (drawn as boxes); fails unless none
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

HWND Child(const std::wstring& title, const wchar_t* cls) {
    HWND top = FindWindowW(nullptr, title.c_str());
    return top ? FindWindowExW(top, nullptr, cls, nullptr) : nullptr;
}

// The grid's texts, read through a buffer in the window's own process.
bool Cells(const std::wstring& title) {
    HWND grid = Child(title, L"SysListView32");
    if (!grid) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(grid, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    constexpr int kChars = 256;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * 2, MEM_COMMIT, PAGE_READWRITE));
    const int rows = static_cast<int>(SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0));
    const int cols = static_cast<int>(SendMessageW(
        reinterpret_cast<HWND>(SendMessageW(grid, LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows; ++r) {
        std::wstring line;
        for (int c = 1; c < cols; ++c) {
            LVITEMW item{};
            item.iSubItem = c;
            item.cchTextMax = kChars;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
            SendMessageW(grid, LVM_GETITEMTEXTW, static_cast<WPARAM>(r),
                         reinterpret_cast<LPARAM>(remote));
            wchar_t text[kChars] = {};
            ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof(text) - 2, nullptr);
            if (c > 1) line += L'|';
            line += text;
        }
        char out[1024];
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, out, sizeof(out), nullptr, nullptr);
        if (n > 0) std::printf("%s\n", out);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return true;
}

bool Selected(const std::wstring& title) {
    HWND list = Child(title, L"LISTBOX");
    HWND grid = Child(title, L"SysListView32");
    if (!list && !grid) return false;
    const long item = list ? static_cast<long>(SendMessageW(list, LB_GETCURSEL, 0, 0)) : -1;
    const long row = grid ? static_cast<long>(SendMessageW(grid, LVM_GETNEXTITEM,
                                                           static_cast<WPARAM>(-1), LVNI_SELECTED))
                          : -1;
    const bool shown = list && (GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    std::printf("%ld %ld %d\n", item, row, shown ? 1 : 0);
    return true;
}

bool Glyphs(const std::wstring& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"\u5b8b\u4f53");
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring glyphs(text.size(), L'\0');
    const DWORD got =
        GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()),
                         reinterpret_cast<WORD*>(glyphs.data()), GGI_MARK_NONEXISTING_GLYPHS);
    int missing = 0;
    for (wchar_t g : glyphs) missing += g == 0xFFFF;
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    char name[LF_FACESIZE * 4] = {};
    WideCharToMultiByte(CP_UTF8, 0, face, -1, name, sizeof(name), nullptr, nullptr);
    std::printf("%d of %d missing in %s\n", missing, static_cast<int>(text.size()), name);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return got != GDI_ERROR && missing == 0;
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
    } else if (argv && argc == 3 && std::wstring(argv[1]) == L"cells") {
        ok = Cells(FromHex(argv[2]));
    } else if (argv && argc == 3 && std::wstring(argv[1]) == L"selected") {
        ok = Selected(FromHex(argv[2]));
    } else if (argv && argc == 3 && std::wstring(argv[1]) == L"glyphs") {
        ok = Glyphs(FromHex(argv[2]));
    }
    if (!ok) std::fputs("input_helper: failed\n", stderr);
    return ok ? 0 : 1;
}
