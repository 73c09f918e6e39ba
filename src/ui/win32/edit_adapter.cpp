#include "ui/win32/edit_adapter.h"

namespace quorvel::ui::win32 {

NativeControl::Look EditAdapter::Describe() const {
    Look look;
    look.windowClass = L"EDIT";
    look.style = WS_TABSTOP | ES_AUTOHSCROLL;
    look.exStyle = WS_EX_CLIENTEDGE;
    look.text = box_.Text();
    return look;
}

// The edit control does the editing itself (caret, selection, clipboard, undo, input methods);
// the model owns the content.
void EditAdapter::OnCommand(int code) {
    if (code != EN_CHANGE) return;
    // However the text changed (typing, paste, the input method, undo, drag and drop), the
    // model has it at once; what the box refuses is taken out again by the push.
    DWORD from = 0;
    DWORD to = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const std::u16string text = WindowText(hwnd_);
    Safely([&] { box_.Edited(text, static_cast<int32_t>(from), static_cast<int32_t>(to - from)); });
}

void EditAdapter::Update() {
    // A numeric box that stands for no number shows its value, zero, when set to; that zero is a
    // placeholder, selected whole so that typing replaces it.
    const bool zero = ShowsPlaceholder();
    const std::u16string now = WindowText(hwnd_);
    const bool placeholder = zero && (now == u"0" || now.empty());
    if (now != box_.Text() && !placeholder) SetWindowTextW(hwnd_, W(zero ? u"0" : box_.Text()));
    DWORD from = 0;
    DWORD to = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const auto wantFrom = static_cast<DWORD>(zero ? 0 : box_.SelStart());
    const auto wantTo = zero ? static_cast<DWORD>(GetWindowTextLengthW(hwnd_))
                             : static_cast<DWORD>(box_.SelStart() + box_.SelLength());
    if (from != wantFrom || to != wantTo) {
        SendMessageW(hwnd_, EM_SETSEL, wantFrom, static_cast<LPARAM>(wantTo));
        SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
    }
}

// The focused box's caret and selection, as the model should know them before any handler
// runs: the native control moves them itself (clicks, arrows, Shift+arrows).
void EditAdapter::ReadSelection() {
    DWORD from = 0;
    DWORD to = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    box_.Selected(static_cast<int32_t>(from), static_cast<int32_t>(to - from));
}

bool EditAdapter::Color(HDC dc, HBRUSH& brush) {
    const COLORREF back = Resolve(model_.backColor);
    SetBkColor(dc, back);
    SetTextColor(dc, Resolve(model_.foreColor));
    brush = site_.BrushFor(back);
    return true;
}

std::unique_ptr<NativeControl> MakeEdit(FormSite& site, TextBox& c) {
    return std::make_unique<EditAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
