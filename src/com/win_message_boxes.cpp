#include "com/win_message_boxes.h"

#include <windows.h>

#include <string>

namespace quorvel::com {

namespace {
std::wstring Wide(std::u16string_view text) {
    // MessageBoxW stops at the first NUL; a text that carries one is shown up to there.
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}
}  // namespace

int WindowMessageBoxes::Show(std::u16string_view prompt, int buttons, std::u16string_view title) {
    std::wstring p = Wide(prompt);
    std::wstring t = Wide(title);
    // The host's buttons value is the platform's style value (button set, icon, default button).
    UINT style = static_cast<UINT>(buttons) & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK);
    HWND owner = GetActiveWindow();
    // Without an owner the box could open behind a full-screen host window, where the clerk
    // never sees it and the till seems to hang.
    if (!owner) style |= MB_SETFOREGROUND;
    int answer = MessageBoxW(owner, p.c_str(), t.c_str(), style);
    if (answer != 0) return answer;
    // No box could be shown (no desktop, no memory): answer as the safe choice would.
    int set = buttons & 7;
    return (set == mb::kYesNo || set == 3) ? mb::kNo : mb::kOk;
}

}  // namespace quorvel::com
