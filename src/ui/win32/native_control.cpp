#include "ui/win32/native_control.h"

#include <algorithm>

namespace quorvel::ui::win32 {

std::u16string WindowText(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(h, buf.data(), n + 1);
    return U(buf.data(), static_cast<size_t>(std::max(got, 0)));
}

COLORREF Resolve(Color c) {
    if (c & 0x80000000u) return GetSysColor(static_cast<int>(c & 0xFFu));
    return static_cast<COLORREF>(c & 0x00FFFFFFu);
}

HINSTANCE ThisModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &m);
    return m ? m : GetModuleHandleW(nullptr);
}

RECT NativeControl::Rect() const {
    const Control& c = model_;
    int32_t left = c.rect.left;
    int32_t top = c.rect.top;
    // A control inside a frame is placed relative to it; all natives are children of the form.
    if (!c.container.empty()) {
        if (const Control* frame = site_.Form().Find(c.container)) {
            left += frame->rect.left;
            top += frame->rect.top;
        }
    }
    return RECT{Px(left), Px(top), Px(left + c.rect.width), Px(top + c.rect.height)};
}

bool NativeControl::Create(int id) {
    id_ = id;
    const RECT r = Rect();
    const Look look = Describe();
    hwnd_ =
        CreateWindowExW(look.exStyle, look.windowClass, W(look.text), WS_CHILD | look.style, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, site_.Hwnd(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
    if (!hwnd_) return false;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(site_.FontFor(model_.font)), FALSE);
    Created(r);
    return true;
}

void NativeControl::Push() {
    HWND h = hwnd_;
    if ((IsWindowEnabled(h) != FALSE) != model_.Enabled()) EnableWindow(h, model_.Enabled());
    const bool visible = model_.Visible();
    if (((GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0) != visible) {
        ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
    }
    Update();
}

std::unique_ptr<NativeControl> MakeNative(FormSite& site, Control& c) {
    switch (c.Kind()) {
        case ControlKind::Label:
        case ControlKind::Frame:
            return MakeStatic(site, c);
        case ControlKind::PictureBox:
            return MakePicture(site, static_cast<PictureBox&>(c));
        case ControlKind::CommandButton:
            return MakeButton(site, static_cast<CommandButton&>(c));
        case ControlKind::TextBox:
            return MakeEdit(site, static_cast<TextBox&>(c));
        case ControlKind::NumericBox:
            return MakeNumeric(site, static_cast<NumericBox&>(c));
        case ControlKind::ListBox:
            return MakeList(site, static_cast<ListBox&>(c));
        case ControlKind::Grid:
            return MakeGrid(site, static_cast<Grid&>(c));
        case ControlKind::Toolbar:
            return MakeToolbar(site, static_cast<Toolbar&>(c));
        case ControlKind::StatusBar:
            return MakeStatus(site, static_cast<StatusBar&>(c));
        case ControlKind::Timer:
            break;
    }
    return nullptr;
}

void NativeControl::PassKey(MSG& m) const {
    m.hwnd = hwnd_;
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

}  // namespace quorvel::ui::win32
