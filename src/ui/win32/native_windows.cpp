#include "ui/win32/native_windows.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "ui/picker_dialog.h"
#include "ui/win32/native_control.h"
#include "ui/window_helpers.h"

namespace quorvel::ui::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"QuorvelForm";
constexpr UINT_PTR kTimerId = 1;

int16_t ShiftState() {
    int16_t s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= shift::kShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= shift::kCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= shift::kAlt;
    return s;
}

bool IsTextBox(const Control& c) {
    return c.Kind() == ControlKind::TextBox || c.Kind() == ControlKind::NumericBox;
}

class Binding;
thread_local std::vector<Binding*> tStack;  // shown windows of the thread, innermost last

// The form window: its controls' adapters, the message loop, the focus, the timers and the
// modality towards the other windows of the thread.
class Binding final : public FormSite {
  public:
    Binding(Window& w, HWND owner) : w_(w), owner_(owner) {
        HDC screen = GetDC(nullptr);
        dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpi_ <= 0) dpi_ = 96;
    }
    ~Binding() {
        w_.onControlChanged = nullptr;
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA,
                              0);  // no message reaches a binding that is gone
            DestroyWindow(hwnd_);
        }
        for (auto& [_, f] : fonts_) DeleteObject(f);
        for (auto& [_, b] : brushes_) DeleteObject(b);
    }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    void Run();
    LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);

    Window& Form() override { return w_; }
    HWND Hwnd() const override { return hwnd_; }
    int Dpi() const override { return dpi_; }
    HFONT FontFor(const Font& f) override;
    HBRUSH BrushFor(COLORREF c) override;
    void Push(Control& c) override;

  private:
    int Px(int32_t twips) const { return MulDiv(twips, dpi_, 1440); }
    void Create();
    void CreateControl(Control& c);
    void Sync();
    void FocusModel();
    bool Route(MSG& m);
    void ReadSelection();
    bool IsOurs(HWND h) const { return h == hwnd_ || IsChild(hwnd_, h); }
    bool Active() const {
        return !tStack.empty() && tStack.back() == this && IsWindowEnabled(hwnd_);
    }
    NativeControl* ByHwnd(HWND h);
    NativeControl* ById(int id);
    NativeControl* ByModel(const Control* c);
    void OnCommand(int id, int code, HWND from);
    LRESULT OnNotify(NMHDR* nm);
    LRESULT OnColor(HDC dc, HWND from, UINT msg);

    Window& w_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    std::vector<std::unique_ptr<NativeControl>> natives_;
    std::map<int, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    Control* lastFocus_ = nullptr;
    bool timerOn_ = false;
    int pushing_ = 0;
};

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* b = reinterpret_cast<Binding*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    if (!b) return DefWindowProcW(h, msg, wp, lp);
    try {
        return b->Proc(msg, wp, lp);
    } catch (...) {
        return DefWindowProcW(h, msg, wp, lp);
    }
}

void RegisterFormClass() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    // A class left behind by an earlier load of the library would point into freed code.
    UnregisterClassW(kFormClass, ThisModule());
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    if (!RegisterClassExW(&wc)) throw DbError(static_cast<long>(GetLastError()), u"无法创建窗口");
    done = true;
}

HFONT Binding::FontFor(const Font& f) {
    const int key = static_cast<int>(std::lround(f.points * 100));
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    const int height = -static_cast<int>(std::lround(f.points * dpi_ / 72.0));
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, W(f.name));
    fonts_[key] = font;
    return font;
}

HBRUSH Binding::BrushFor(COLORREF c) {
    auto it = brushes_.find(c);
    if (it != brushes_.end()) return it->second;
    HBRUSH b = CreateSolidBrush(c);
    brushes_[c] = b;
    return b;
}

void Binding::Create() {
    RegisterFormClass();
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT r{0, 0, Px(w_.clientWidth), Px(w_.clientHeight)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    hwnd_ = CreateWindowExW(exStyle, kFormClass, W(w_.caption), style, x, y, width, height, owner_,
                            nullptr, ThisModule(), this);
    if (!hwnd_) throw DbError(static_cast<long>(GetLastError()), u"无法创建窗口");
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(w_.font)), FALSE);

    // Frames first, so that they stay behind the controls drawn on them.
    for (Control* c : w_.Controls()) {
        if (c->Kind() == ControlKind::Frame) CreateControl(*c);
    }
    for (Control* c : w_.Controls()) {
        if (c->Kind() != ControlKind::Frame) CreateControl(*c);
    }
    // The native Z order follows the tab order, which is the order keyboard users expect.
    for (auto& n : natives_) {
        if (n->Model().Kind() == ControlKind::Frame) {
            SetWindowPos(n->Hwnd(), HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void Binding::CreateControl(Control& c) {
    std::unique_ptr<NativeControl> n = MakeNative(*this, c);
    if (!n) return;  // a timer has no window
    // A control that cannot be made is left out rather than failing all.
    if (!n->Create(kFirstControlId + static_cast<int>(natives_.size()))) return;
    NativeControl* raw = n.get();
    natives_.push_back(std::move(n));
    Push(raw->Model());
}

NativeControl* Binding::ByHwnd(HWND h) {
    for (auto& n : natives_) {
        if (n->Hwnd() == h || IsChild(n->Hwnd(), h)) return n.get();
    }
    return nullptr;
}

NativeControl* Binding::ById(int id) {
    for (auto& n : natives_) {
        if (n->Id() == id) return n.get();
    }
    return nullptr;
}

NativeControl* Binding::ByModel(const Control* c) {
    for (auto& n : natives_) {
        if (&n->Model() == c) return n.get();
    }
    return nullptr;
}

// Mirrors one control's model state in its native window.
void Binding::Push(Control& c) {
    NativeControl* n = ByModel(&c);
    if (!n || !n->Hwnd()) return;
    ++pushing_;
    n->Push();
    --pushing_;
}

void Binding::FocusModel() {
    Control* f = w_.Focused();
    HWND target = hwnd_;
    if (f) {
        if (NativeControl* n = ByModel(f)) target = n->Hwnd();
    }
    if (GetFocus() != target) SetFocus(target);
}

void Binding::Sync() {
    if (!w_.IsOpen() || !hwnd_) return;
    ReadSelection();
    Control* f = w_.Focused();
    if (lastFocus_ && lastFocus_ != f) {
        Control* leaving = lastFocus_;
        lastFocus_ = f;
        if (NativeControl* n = ByModel(leaving)) Safely([&] { n->FocusLeft(); });
    }
    lastFocus_ = f;
    if (Active() && GetActiveWindow() == hwnd_) FocusModel();

    int32_t interval = 0;
    for (Control* c : w_.Controls()) {
        if (c->Kind() != ControlKind::Timer || !c->Enabled()) continue;
        const int32_t i = static_cast<Timer*>(c)->interval;
        if (i > 0 && (interval == 0 || i < interval)) interval = i;
    }
    if (interval > 0 && !timerOn_) {
        SetTimer(hwnd_, kTimerId, static_cast<UINT>(std::max(interval, 10)), nullptr);
        timerOn_ = true;
    } else if (interval == 0 && timerOn_) {
        KillTimer(hwnd_, kTimerId);
        timerOn_ = false;
    }
}

// The focused control's caret and selection, read before any handler runs.
void Binding::ReadSelection() {
    Control* f = w_.Focused();
    if (!f) return;
    if (NativeControl* n = ByModel(f)) n->ReadSelection();
}

// Input for this window goes to the model first; true when the message is used up. Keys reach
// the window's key preview and the focused control's handler; what they leave is the native
// control's own: an edit control does its editing itself (caret, selection, clipboard, undo,
// input methods) and reports every change of its text by EN_CHANGE.
bool Binding::Route(MSG& m) {
    if (!IsOurs(m.hwnd) || !IsWindowEnabled(hwnd_)) return false;
    switch (m.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            // Alt+F4 is the close box's key: the system turns it into WM_CLOSE.
            if (m.message == WM_SYSKEYDOWN && m.wParam == VK_F4) return false;
            ReadSelection();
            auto code = static_cast<int16_t>(m.wParam & 0xFF);
            const int16_t state = ShiftState();
            Control* target = w_.PreviewKey(code, state);
            if (!target) return true;
            NativeControl* n = ByModel(target);
            if (!IsTextBox(*target) || !n) {
                if (m.message == WM_SYSKEYDOWN) return false;  // the system's menu keys
                w_.ControlKey(*target, code);
                // What the model's control leaves, the native one does, as any list or grid.
                if (n && target->HasFocus() && w_.IsOpen()) n->NativeKey(m);
                return true;
            }
            if (!target->HasFocus()) return true;  // a handler moved on: the key is spent
            // Enter, Esc and Tab make no character in a one-line box; translated, they would
            // reach whatever window a handler opened in the meantime.
            if (code != VK_RETURN && code != VK_ESCAPE && code != VK_TAB) TranslateMessage(&m);
            m.hwnd = n->Hwnd();
            DispatchMessageW(&m);
            return true;
        }
        case WM_KEYUP:
        case WM_DEADCHAR:
            return true;
        case WM_CHAR: {
            const auto ch = static_cast<char16_t>(m.wParam);
            Control* f = w_.Focused();
            if (f && f->Kind() == ControlKind::ListBox) {
                // A typed letter finds the list's next item that begins with it.
                if (NativeControl* n = ByModel(f); n && ch >= 0x20) {
                    m.hwnd = n->Hwnd();
                    DispatchMessageW(&m);
                }
                return true;
            }
            if (!f || !IsTextBox(*f)) return true;
            // Backspace and the editing commands (Ctrl+A, C, V, X, Z) are the edit control's;
            // any other control character, and what the box refuses, goes no further.
            const bool command = ch == 1 || ch == 3 || ch == 8 || ch == 22 || ch == 24 || ch == 26;
            if (!command && !static_cast<TextBox&>(*f).Accepts(ch)) return true;
            NativeControl* n = ByModel(f);
            if (n && ch == 1) {
                // Older edit controls ignore Ctrl+A; staff expect it to select the whole field.
                SendMessageW(n->Hwnd(), EM_SETSEL, 0, -1);
                return true;
            }
            if (n && ch < 0x20 && !command) {
                // A control character the box takes (a scanner's GS, sent as Ctrl+]): the edit
                // control drops typed control characters, but keeps one put in as text.
                const wchar_t text[2] = {static_cast<wchar_t>(ch), 0};
                SendMessageW(n->Hwnd(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
                return true;
            }
            if (n) m.hwnd = n->Hwnd();
            DispatchMessageW(&m);
            return true;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: {
            // The focus moves on the press, as the user sees it; the native control then
            // handles the click (an edit control places the caret, offers its menu) and reports
            // it. Were the model's focus left elsewhere, the sync after this message would pull
            // the focus away and the click be lost.
            NativeControl* n = ByHwnd(m.hwnd);
            if (!n) return false;
            if (n->RefusesPress(m)) return true;
            Control& c = n->Model();
            if (c.CanFocus() && !c.HasFocus()) Safely([&] { w_.SetFocus(c); });
            return false;
        }
        default:
            return false;
    }
}

void Binding::OnCommand(int id, int code, HWND from) {
    if (pushing_ || !Active()) return;
    if (id >= kFirstToolbarId && id < kFirstControlId) {
        if (NativeControl* n = ByHwnd(from)) n->OnButton(id);
    } else if (NativeControl* n = ById(id)) {
        n->OnCommand(code);
    }
}

LRESULT Binding::OnNotify(NMHDR* nm) {
    NativeControl* n = ByHwnd(nm->hwndFrom);
    if (!n || pushing_ || !Active()) return 0;
    return n->OnNotify(nm);
}

LRESULT Binding::OnColor(HDC dc, HWND from, UINT msg) {
    NativeControl* n = ByHwnd(from);
    HBRUSH brush = nullptr;
    if (n && n->Color(dc, brush)) return reinterpret_cast<LRESULT>(brush);
    if (msg == WM_CTLCOLORSTATIC) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return DefWindowProcW(hwnd_, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from));
}

LRESULT Binding::Proc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CLOSE:
            if (IsWindowEnabled(hwnd_)) w_.Unload();  // the close box is the window's own close
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            Sync();
            return 0;
        case WM_NOTIFY: {
            LRESULT r = OnNotify(reinterpret_cast<NMHDR*>(lp));
            Sync();
            return r;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            return OnColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), msg);
        case WM_TIMER:
            // A window behind another modal window or a message box waits for its turn.
            if (wp == kTimerId && Active()) {
                w_.TickTimers();
                Sync();
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE && Active()) {
                FocusModel();
                return 0;
            }
            break;
        case WM_SETFOCUS:
            if (Active()) FocusModel();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

BOOL CALLBACK CollectEnabled(HWND h, LPARAM list) {
    // A hidden window takes no input anyway; disabling it would only touch the system's own
    // helpers (input method windows and the like).
    if (IsWindowVisible(h) && IsWindowEnabled(h))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
    return TRUE;
}

void Binding::Run() {
    // Modal towards the host, as a modal form of its toolkit is: every other window of the
    // thread takes no input while the outermost window is open.
    std::vector<HWND> disabled;
    if (tStack.empty())
        EnumThreadWindows(GetCurrentThreadId(), CollectEnabled,
                          reinterpret_cast<LPARAM>(&disabled));
    Create();
    w_.onControlChanged = [this](Control& c) { Push(c); };
    tStack.push_back(this);
    struct Pop {
        ~Pop() { tStack.pop_back(); }
    } pop;
    struct Reenable {
        std::vector<HWND>& windows;
        void operator()() {
            for (HWND h : windows) {
                if (IsWindow(h)) EnableWindow(h, TRUE);
            }
            windows.clear();
        }
        ~Reenable() { (*this)(); }
    } reenable{disabled};
    for (HWND h : disabled) EnableWindow(h, FALSE);
    if (!w_.BeginModal()) return;
    const bool ownerWasEnabled = owner_ && IsWindowEnabled(owner_);
    if (ownerWasEnabled) EnableWindow(owner_, FALSE);
    HWND previousActive = GetActiveWindow();
    ShowWindow(hwnd_, SW_SHOW);
    // Controls filled while the form was hidden (the rule list with its scroll bar) have their
    // borders and scroll bars drawn only when asked: the whole form is drawn once more, frames
    // included.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
    Sync();
    FocusModel();
    bool quit = false;
    WPARAM quitCode = 0;
    while (w_.IsOpen()) {
        MSG m;
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = m.wParam;
            break;
        }
        if (got < 0) break;
        if (!Route(m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sync();
    }
    Safely([&] { w_.EndModal(); });
    w_.onControlChanged = nullptr;
    // The owner comes back before this window goes, so that the activation returns to it.
    if (ownerWasEnabled) EnableWindow(owner_, TRUE);
    reenable();
    HWND back = owner_ && IsWindowVisible(owner_) ? owner_ : nullptr;
    if (!back && previousActive && IsWindow(previousActive) && IsWindowEnabled(previousActive))
        back = previousActive;
    ShowWindow(hwnd_, SW_HIDE);
    if (back) SetActiveWindow(back);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));  // for the loop that asked for it
}

}  // namespace

void NativeWindowHost::ShowModal(Window& w) {
    // Each window belongs to the window that opened it. The first one belongs to a hidden
    // window of the component, which keeps it out of the taskbar and above nothing of the host.
    if (!tStack.empty()) {
        Binding b(w, tStack.back()->Hwnd());
        b.Run();
        return;
    }
    RegisterFormClass();
    HWND hidden = CreateWindowExW(0, kFormClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ThisModule(), nullptr);
    struct Destroy {
        HWND h;
        ~Destroy() {
            if (h) DestroyWindow(h);
        }
    } destroy{hidden};
    Binding b(w, hidden);
    b.Run();
}

void UseNativeWindows() {
    static thread_local NativeWindowHost host;
    SetWindowHost(&host);
    SetRecordPickerFactory([] { return std::make_unique<DialogRecordPicker>(); });
}

}  // namespace quorvel::ui::win32
