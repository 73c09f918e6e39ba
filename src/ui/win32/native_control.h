// One native control for one control of the form model. Each kind has its own adapter: it makes
// its window, mirrors the model's state in it and hands the window's notifications to the model.
// The form window around them owns the message loop, the focus, the timers and the modality.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "store/error.h"
#include "store/message_box.h"
#include "ui/form.h"

namespace quorvel::ui::win32 {

constexpr int kFirstControlId = 1000;
constexpr int kFirstToolbarId = 100;  // a toolbar's buttons, below the controls' own ids

inline const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

inline std::u16string U(const wchar_t* s, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

std::u16string WindowText(HWND h);
COLORREF Resolve(Color c);

// The module that holds this code: the library when it is loaded into a host.
HINSTANCE ThisModule();

// At a boundary the host calls through: a failure is shown, never passed on.
template <typename F>
void Safely(F&& f) noexcept {
    try {
        f();
    } catch (...) {
        try {
            MsgBox(DescribeCurrentException(), mb::kExclamation, u"系统提示");
        } catch (...) {
        }
    }
}

// What an adapter needs from the form window it sits on.
class FormSite {
  public:
    virtual Window& Form() = 0;
    virtual HWND Hwnd() const = 0;
    virtual int Dpi() const = 0;
    virtual HFONT FontFor(const Font& f) = 0;
    virtual HBRUSH BrushFor(COLORREF c) = 0;
    // Mirrors a control's model state in its native window; notifications it causes are ignored.
    virtual void Push(Control& c) = 0;

  protected:
    ~FormSite() = default;
};

class NativeControl {
  public:
    NativeControl(FormSite& site, Control& model) : site_(site), model_(model) {}
    virtual ~NativeControl() = default;
    NativeControl(const NativeControl&) = delete;
    NativeControl& operator=(const NativeControl&) = delete;

    // Makes the native window as a child of the form; false when it cannot be made.
    bool Create(int id);
    // The model's state, mirrored in the native window.
    void Push();

    // Notifications, once the form has checked that it takes input at all.
    virtual void OnCommand(int /*code*/) {}
    virtual void OnButton(int /*id*/) {}  // a toolbar's button, by its command id
    virtual LRESULT OnNotify(NMHDR* /*nm*/) { return 0; }
    // Sets the colours for painting; false leaves them to the form.
    virtual bool Color(HDC /*dc*/, HBRUSH& /*brush*/) { return false; }
    // Whether a mouse press on the control (or a child of it) goes no further.
    virtual bool RefusesPress(const MSG& /*m*/) const { return false; }
    // The native caret and selection, read into the model.
    virtual void ReadSelection() {}
    // The focus has moved elsewhere.
    virtual void FocusLeft() {}
    // A key the window's handlers and the model's control have seen: what the native control
    // still does with it (a list pages, goes to its ends, finds an item by a typed letter).
    virtual void NativeKey(MSG& /*m*/) {}

    HWND Hwnd() const { return hwnd_; }
    int Id() const { return id_; }
    // The native control's own handling of a key message, for NativeKey: characters are made
    // and the message delivered to it.
    void PassKey(MSG& m) const;
    // Keys the model's list and grid act on themselves, or the form: Up and Down move between
    // the rows, Tab, Enter and Esc belong to the window.
    static bool ModelKey(WPARAM vk) {
        return vk == VK_UP || vk == VK_DOWN || vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE;
    }
    Control& Model() const { return model_; }

  protected:
    struct Look {
        const wchar_t* windowClass = L"STATIC";
        DWORD style = 0;
        DWORD exStyle = 0;
        std::u16string text;
    };
    virtual Look Describe() const = 0;
    // The window exists with the designed rectangle r: what the kind sets up once.
    virtual void Created(const RECT& /*r*/) {}
    virtual void Update() = 0;
    virtual RECT Rect() const;

    int Px(int32_t twips) const { return MulDiv(twips, site_.Dpi(), 1440); }
    FormSite& site_;
    Control& model_;
    HWND hwnd_ = nullptr;

  private:
    int id_ = 0;
};

// The adapter for a control; nullptr for a kind that has no window (timers).
std::unique_ptr<NativeControl> MakeNative(FormSite& site, Control& c);

std::unique_ptr<NativeControl> MakeStatic(FormSite& site, Control& c);  // labels, frames
std::unique_ptr<NativeControl> MakePicture(FormSite& site, PictureBox& c);
std::unique_ptr<NativeControl> MakeButton(FormSite& site, CommandButton& c);
std::unique_ptr<NativeControl> MakeEdit(FormSite& site, TextBox& c);
std::unique_ptr<NativeControl> MakeNumeric(FormSite& site, NumericBox& c);
std::unique_ptr<NativeControl> MakeList(FormSite& site, ListBox& c);
std::unique_ptr<NativeControl> MakeGrid(FormSite& site, Grid& c);
std::unique_ptr<NativeControl> MakeToolbar(FormSite& site, Toolbar& c);
std::unique_ptr<NativeControl> MakeStatus(FormSite& site, StatusBar& c);

}  // namespace quorvel::ui::win32
