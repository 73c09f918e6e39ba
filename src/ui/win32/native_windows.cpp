#include "ui/win32/native_windows.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/error.h"
#include "store/message_box.h"
#include "ui/picker_dialog.h"
#include "ui/win32/images.h"
#include "ui/window_helpers.h"

namespace quorvel::ui::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"QuorvelForm";
constexpr UINT_PTR kTimerId = 1;
constexpr int kFirstControlId = 1000;
constexpr int kFirstToolbarId = 100;

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::u16string U(const wchar_t* s, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

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

struct Native {
    Control* model = nullptr;
    HWND hwnd = nullptr;
    int id = 0;
    // What the native control shows, to push only what changed.
    std::vector<std::u16string> items;
    std::vector<std::vector<std::u16string>> cells;
    int32_t current = -2;
};

class Binding;
thread_local std::vector<Binding*> tStack;  // shown windows of the thread, innermost last

class Binding {
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
        if (images_) ImageList_Destroy(images_);
        if (banner_) DeleteObject(banner_);
    }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    void Run();
    HWND Hwnd() const { return hwnd_; }
    LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);

  private:
    int Px(int32_t twips) const { return MulDiv(twips, dpi_, 1440); }
    HFONT FontFor(const Font& f);
    HBRUSH BrushFor(COLORREF c);
    RECT PixelRect(const Control& c) const;
    void Create();
    void CreateControl(Control& c);
    void Push(Control& c);
    void Sync();
    void FocusModel();
    void Normalise(NumericBox& box);
    bool Route(MSG& m);
    void ReadSelection();
    bool IsOurs(HWND h) const { return h == hwnd_ || IsChild(hwnd_, h); }
    bool Active() const {
        return !tStack.empty() && tStack.back() == this && IsWindowEnabled(hwnd_);
    }
    Native* ByHwnd(HWND h);
    Native* ById(int id);
    Native* ByModel(const Control* c);
    void OnCommand(int id, int code, HWND from);
    LRESULT OnNotify(NMHDR* nm);
    LRESULT OnColor(HDC dc, HWND from, UINT msg);

    Window& w_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    std::vector<std::unique_ptr<Native>> natives_;
    std::map<int, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    HIMAGELIST images_ = nullptr;
    HBITMAP banner_ = nullptr;
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

// The module that holds this code: the library when it is loaded into a host.
HINSTANCE ThisModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&FormProc), &m);
    return m ? m : GetModuleHandleW(nullptr);
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

RECT Binding::PixelRect(const Control& c) const {
    int32_t left = c.rect.left;
    int32_t top = c.rect.top;
    // A control inside a frame is placed relative to it; all natives are children of the form.
    if (!c.container.empty()) {
        if (const Control* frame = w_.Find(c.container)) {
            left += frame->rect.left;
            top += frame->rect.top;
        }
    }
    RECT r{Px(left), Px(top), Px(left + c.rect.width), Px(top + c.rect.height)};
    if (c.Kind() == ControlKind::PictureBox) {
        const auto& p = static_cast<const PictureBox&>(c);
        if (p.pictureWidthPx > 0) r.right = r.left + MulDiv(p.pictureWidthPx, dpi_, 96);
        if (p.pictureHeightPx > 0) r.bottom = r.top + MulDiv(p.pictureHeightPx, dpi_, 96);
    }
    return r;
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
        if (n->model->Kind() == ControlKind::Frame) {
            SetWindowPos(n->hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void Binding::CreateControl(Control& c) {
    if (c.Kind() == ControlKind::Timer) return;
    auto n = std::make_unique<Native>();
    n->model = &c;
    n->id = kFirstControlId + static_cast<int>(natives_.size());
    const RECT r = PixelRect(c);
    DWORD style = WS_CHILD;
    DWORD ex = 0;
    const wchar_t* cls = L"STATIC";
    std::u16string text;
    switch (c.Kind()) {
        case ControlKind::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            text = static_cast<Label&>(c).Caption();
            break;
        case ControlKind::Frame:
            // A frame only a few pixels high is the separator line it is drawn as.
            if (c.rect.height < 200) {
                style |= SS_ETCHEDHORZ;
            } else {
                cls = L"BUTTON";
                style |= BS_GROUPBOX;
                text = static_cast<Label&>(c).Caption();
            }
            break;
        case ControlKind::PictureBox:
            style |= SS_BITMAP;
            break;
        case ControlKind::TextBox:
        case ControlKind::NumericBox:
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            if (c.Kind() == ControlKind::NumericBox) {
                style |= ES_RIGHT;
                if (static_cast<NumericBox&>(c).borderStyle != 0) ex |= WS_EX_CLIENTEDGE;
            } else {
                ex |= WS_EX_CLIENTEDGE;
            }
            text = static_cast<TextBox&>(c).Text();
            break;
        case ControlKind::CommandButton:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            text = static_cast<CommandButton&>(c).Caption();
            break;
        case ControlKind::ListBox:
            cls = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Grid:
            cls = WC_LISTVIEWW;
            style |= WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_HSCROLL |
                     WS_VSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Toolbar:
            cls = TOOLBARCLASSNAMEW;
            style |= TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
            break;
        case ControlKind::StatusBar:
            cls = STATUSCLASSNAMEW;
            style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
            break;
        case ControlKind::Timer:
            return;
    }
    n->hwnd = CreateWindowExW(
        ex, cls, W(text), style, r.left, r.top, r.right - r.left, r.bottom - r.top, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(n->id)), ThisModule(), nullptr);
    if (!n->hwnd) return;  // a control that cannot be made is left out rather than failing all
    SendMessageW(n->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font)), FALSE);

    if (c.Kind() == ControlKind::Grid) {
        ListView_SetExtendedListViewStyle(n->hwnd, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    } else if (c.Kind() == ControlKind::Toolbar) {
        auto& t = static_cast<Toolbar&>(c);
        SendMessageW(n->hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        if (!images_) images_ = CreateToolbarImages();
        SendMessageW(n->hwnd, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
        std::vector<TBBUTTON> buttons;
        for (size_t i = 0; i < t.buttons.size(); ++i) {
            const ToolbarButton& b = t.buttons[i];
            TBBUTTON tb{};
            if (b.separator) {
                tb.fsStyle = BTNS_SEP;
                tb.iBitmap = 8;
            } else {
                std::u16string s = b.caption;
                s.push_back(u'\0');  // the list of strings ends with an empty one
                tb.iString =
                    SendMessageW(n->hwnd, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(W(s)));
                tb.iBitmap = b.image > 0 && b.image <= t.imageCount ? b.image - 1 : I_IMAGENONE;
                tb.idCommand = kFirstToolbarId + static_cast<int>(i);
                tb.fsState = TBSTATE_ENABLED;
                tb.fsStyle = BTNS_BUTTON;
            }
            buttons.push_back(tb);
        }
        SendMessageW(n->hwnd, TB_ADDBUTTONSW, buttons.size(),
                     reinterpret_cast<LPARAM>(buttons.data()));
        SendMessageW(n->hwnd, TB_AUTOSIZE, 0, 0);
        // Keep the designed rectangle: the toolbar would otherwise fit itself to the buttons.
        SetWindowPos(n->hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (c.Kind() == ControlKind::PictureBox) {
        const RECT pr = PixelRect(c);
        banner_ = CreateBanner(pr.right - pr.left, pr.bottom - pr.top, W(w_.caption), dpi_);
        SendMessageW(n->hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));
    }
    Native* raw = n.get();
    natives_.push_back(std::move(n));
    Push(*raw->model);
}

Native* Binding::ByHwnd(HWND h) {
    for (auto& n : natives_) {
        if (n->hwnd == h || IsChild(n->hwnd, h)) return n.get();
    }
    return nullptr;
}

Native* Binding::ById(int id) {
    for (auto& n : natives_) {
        if (n->id == id) return n.get();
    }
    return nullptr;
}

Native* Binding::ByModel(const Control* c) {
    for (auto& n : natives_) {
        if (n->model == c) return n.get();
    }
    return nullptr;
}

// Mirrors one control's model state in its native window.
void Binding::Push(Control& c) {
    Native* n = ByModel(&c);
    if (!n || !n->hwnd) return;
    ++pushing_;
    HWND h = n->hwnd;
    if ((IsWindowEnabled(h) != FALSE) != c.Enabled()) EnableWindow(h, c.Enabled());
    const bool visible = c.Visible();
    if (((GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0) != visible) {
        ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
    }
    switch (c.Kind()) {
        case ControlKind::Label:
        case ControlKind::Frame: {
            const auto& caption = static_cast<Label&>(c).Caption();
            if (WindowText(h) != caption) SetWindowTextW(h, W(caption));
            break;
        }
        case ControlKind::CommandButton: {
            const auto& caption = static_cast<CommandButton&>(c).Caption();
            if (WindowText(h) != caption) SetWindowTextW(h, W(caption));
            break;
        }
        case ControlKind::TextBox:
        case ControlKind::NumericBox: {
            auto& t = static_cast<TextBox&>(c);
            // A numeric box that stands for no number shows its value, zero, when set to; that
            // zero is a placeholder, selected whole so that typing replaces it.
            const bool zero = t.Text().empty() && c.Kind() == ControlKind::NumericBox &&
                              static_cast<NumericBox&>(c).showZero;
            const std::u16string now = WindowText(h);
            const bool placeholder = zero && (now == u"0" || now.empty());
            if (now != t.Text() && !placeholder) SetWindowTextW(h, W(zero ? u"0" : t.Text()));
            DWORD from = 0;
            DWORD to = 0;
            SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                         reinterpret_cast<LPARAM>(&to));
            const auto wantFrom = static_cast<DWORD>(zero ? 0 : t.SelStart());
            const auto wantTo = zero ? static_cast<DWORD>(GetWindowTextLengthW(h))
                                     : static_cast<DWORD>(t.SelStart() + t.SelLength());
            if (from != wantFrom || to != wantTo) {
                SendMessageW(h, EM_SETSEL, wantFrom, static_cast<LPARAM>(wantTo));
                SendMessageW(h, EM_SCROLLCARET, 0, 0);
            }
            break;
        }
        case ControlKind::ListBox: {
            auto& l = static_cast<ListBox&>(c);
            // The model's list only grows item by item or is cleared, and every change comes
            // here: items added after those shown are appended, so that filling a list costs
            // one native call per item rather than a rebuild per item.
            const auto count = static_cast<size_t>(l.ListCount());
            const size_t shown = n->items.size();
            if (count < shown ||
                (shown > 0 && l.List(static_cast<int32_t>(shown - 1)) != n->items.back())) {
                SendMessageW(h, LB_RESETCONTENT, 0, 0);
                n->items.clear();
                n->current = -2;
            }
            for (size_t i = n->items.size(); i < count; ++i) {
                n->items.push_back(l.List(static_cast<int32_t>(i)));
                SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(n->items.back())));
                n->current = -2;
            }
            if (n->current != l.ListIndex()) {
                SendMessageW(h, LB_SETCURSEL, static_cast<WPARAM>(l.ListIndex()), 0);
                n->current = l.ListIndex();
            }
            break;
        }
        case ControlKind::Grid: {
            auto& g = static_cast<Grid&>(c);
            std::vector<std::vector<std::u16string>> cells(static_cast<size_t>(g.Rows()));
            for (int32_t r = 0; r < g.Rows(); ++r) {
                for (int32_t k = 0; k < g.Cols(); ++k)
                    cells[static_cast<size_t>(r)].push_back(g.TextMatrix(r, k));
            }
            if (cells != n->cells) {
                SendMessageW(h, WM_SETREDRAW, FALSE, 0);
                ListView_DeleteAllItems(h);
                while (ListView_DeleteColumn(h, 0)) {
                }
                const auto& header = cells.empty() ? std::vector<std::u16string>{} : cells[0];
                for (size_t k = 0; k < header.size(); ++k) {
                    LVCOLUMNW col{};
                    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
                    col.fmt = LVCFMT_LEFT;
                    col.pszText = const_cast<wchar_t*>(W(header[k]));
                    col.cx = Px(180);
                    SendMessageW(h, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&col));
                }
                for (size_t r = 1; r < cells.size(); ++r) {
                    LVITEMW item{};
                    item.mask = LVIF_TEXT;
                    item.iItem = static_cast<int>(r - 1);
                    item.pszText = const_cast<wchar_t*>(L"");
                    SendMessageW(h, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
                    for (size_t k = 1; k < cells[r].size(); ++k) {
                        LVITEMW sub{};
                        sub.iSubItem = static_cast<int>(k);
                        sub.pszText = const_cast<wchar_t*>(W(cells[r][k]));
                        SendMessageW(h, LVM_SETITEMTEXTW, r - 1, reinterpret_cast<LPARAM>(&sub));
                    }
                }
                // Each column as wide as its widest text, heading included; the leading column
                // is the grid's fixed column: narrow and empty.
                HDC dc = GetDC(h);
                HGDIOBJ oldFont = SelectObject(dc, FontFor(c.font));
                for (size_t k = 1; k < header.size(); ++k) {
                    int widest = 0;
                    for (const auto& row : cells) {
                        if (k >= row.size()) continue;
                        SIZE size{};
                        GetTextExtentPoint32W(dc, W(row[k]), static_cast<int>(row[k].size()),
                                              &size);
                        widest = std::max(widest, static_cast<int>(size.cx));
                    }
                    ListView_SetColumnWidth(h, static_cast<int>(k), widest + Px(240));
                }
                SelectObject(dc, oldFont);
                ReleaseDC(h, dc);
                if (!header.empty()) ListView_SetColumnWidth(h, 0, Px(225));
                SendMessageW(h, WM_SETREDRAW, TRUE, 0);
                InvalidateRect(h, nullptr, TRUE);
                n->cells = std::move(cells);
                n->current = -2;
            }
            if (n->current != g.Row()) {
                ListView_SetItemState(h, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
                if (g.Row() >= 1) {
                    ListView_SetItemState(h, g.Row() - 1, LVIS_SELECTED | LVIS_FOCUSED,
                                          LVIS_SELECTED | LVIS_FOCUSED);
                    ListView_EnsureVisible(h, g.Row() - 1, FALSE);
                }
                n->current = g.Row();
            }
            break;
        }
        case ControlKind::StatusBar: {
            const auto& text = static_cast<StatusBar&>(c).panelText;
            SendMessageW(h, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(W(text)));
            break;
        }
        default:
            break;
    }
    --pushing_;
}

void Binding::Normalise(NumericBox& box) {
    // The numeric box keeps a number it is left with inside its limits.
    if (!box.Enabled() || box.Text().empty()) return;
    const double v = box.Value();
    if (v < box.min) box.SetValue(box.min);
    if (v > box.max) box.SetValue(box.max);
}

void Binding::FocusModel() {
    Control* f = w_.Focused();
    HWND target = hwnd_;
    if (f) {
        if (Native* n = ByModel(f)) target = n->hwnd;
    }
    if (GetFocus() != target) SetFocus(target);
}

void Binding::Sync() {
    if (!w_.IsOpen() || !hwnd_) return;
    ReadSelection();
    Control* f = w_.Focused();
    if (lastFocus_ && lastFocus_ != f && lastFocus_->Kind() == ControlKind::NumericBox) {
        Control* leaving = lastFocus_;
        lastFocus_ = f;
        Safely([&] { Normalise(static_cast<NumericBox&>(*leaving)); });
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

// The focused edit control's caret and selection, as the model should know them before any
// handler runs: the native control moves them itself (clicks, arrows, Shift+arrows).
void Binding::ReadSelection() {
    Control* f = w_.Focused();
    if (!f || !IsTextBox(*f)) return;
    Native* n = ByModel(f);
    if (!n || !n->hwnd) return;
    DWORD from = 0;
    DWORD to = 0;
    SendMessageW(n->hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    static_cast<TextBox&>(*f).Selected(static_cast<int32_t>(from), static_cast<int32_t>(to - from));
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
            Native* n = ByModel(target);
            if (!IsTextBox(*target) || !n || !n->hwnd) {
                if (m.message == WM_SYSKEYDOWN) return false;  // the system's menu keys
                w_.ControlKey(*target, code);
                return true;
            }
            if (!target->HasFocus()) return true;  // a handler moved on: the key is spent
            // Enter, Esc and Tab make no character in a one-line box; translated, they would
            // reach whatever window a handler opened in the meantime.
            if (code != VK_RETURN && code != VK_ESCAPE && code != VK_TAB) TranslateMessage(&m);
            m.hwnd = n->hwnd;
            DispatchMessageW(&m);
            return true;
        }
        case WM_KEYUP:
        case WM_DEADCHAR:
            return true;
        case WM_CHAR: {
            const auto ch = static_cast<char16_t>(m.wParam);
            Control* f = w_.Focused();
            if (!f || !IsTextBox(*f)) return true;
            // Backspace and the editing commands (Ctrl+A, C, V, X, Z) are the edit control's;
            // any other control character, and what the box refuses, goes no further.
            const bool command = ch == 1 || ch == 3 || ch == 8 || ch == 22 || ch == 24 || ch == 26;
            if (!command && !static_cast<TextBox&>(*f).Accepts(ch)) return true;
            if (Native* n = ByModel(f)) m.hwnd = n->hwnd;
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
            Native* n = ByHwnd(m.hwnd);
            if (!n) return false;
            Control& c = *n->model;
            // A grid whose columns the user may not resize takes no press on a divider of its
            // header: neither the drag that resizes nor the double click that fits a column.
            if (c.Kind() == ControlKind::Grid && !static_cast<Grid&>(c).userResize &&
                m.hwnd == ListView_GetHeader(n->hwnd)) {
                HDHITTESTINFO hit{};
                hit.pt = {static_cast<short>(LOWORD(m.lParam)),
                          static_cast<short>(HIWORD(m.lParam))};
                SendMessageW(m.hwnd, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
                if (hit.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) return true;
            }
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
        Native* n = ByHwnd(from);
        if (!n || n->model->Kind() != ControlKind::Toolbar) return;
        auto& t = static_cast<Toolbar&>(*n->model);
        const auto index = static_cast<size_t>(id - kFirstToolbarId);
        if (index < t.buttons.size()) w_.ClickToolbar(t, t.buttons[index].key);
        return;
    }
    Native* n = ById(id);
    if (!n) return;
    Control& c = *n->model;
    if (IsTextBox(c) && code == EN_CHANGE) {
        // However the text changed (typing, paste, the input method, undo, drag and drop), the
        // model has it at once; what the box refuses is taken out again by the push.
        DWORD from = 0;
        DWORD to = 0;
        SendMessageW(n->hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        const std::u16string text = WindowText(n->hwnd);
        Safely([&] {
            static_cast<TextBox&>(c).Edited(text, static_cast<int32_t>(from),
                                            static_cast<int32_t>(to - from));
        });
    } else if (c.Kind() == ControlKind::CommandButton && code == BN_CLICKED) {
        w_.ClickOn(c);
    } else if (c.Kind() == ControlKind::ListBox && code == LBN_SELCHANGE) {
        auto& l = static_cast<ListBox&>(c);
        const auto sel = static_cast<int32_t>(SendMessageW(n->hwnd, LB_GETCURSEL, 0, 0));
        n->current = -2;
        Safely([&] {
            if (l.CanFocus() && !l.HasFocus()) w_.SetFocus(l);
            if (sel != l.ListIndex()) l.SetListIndex(sel);
        });
        Push(l);
    } else if (c.Kind() == ControlKind::ListBox && code == LBN_DBLCLK) {
        w_.DoubleClickOn(c);
    }
}

LRESULT Binding::OnNotify(NMHDR* nm) {
    Native* n = ByHwnd(nm->hwndFrom);
    if (!n || n->model->Kind() != ControlKind::Grid) return 0;
    auto& g = static_cast<Grid&>(*n->model);
    if (pushing_ || !Active()) return 0;
    if (nm->code == NM_CLICK || nm->code == NM_DBLCLK) {
        const int item = reinterpret_cast<NMITEMACTIVATE*>(nm)->iItem;
        Safely([&] {
            if (item >= 0 && item + 1 < g.Rows()) g.SetRow(item + 1);
        });
        n->current = -2;
        if (nm->code == NM_CLICK) {
            w_.ClickOn(g);
        } else if (item >= 0) {
            w_.DoubleClickOn(g);
        }
        if (w_.IsOpen()) Push(g);
    }
    return 0;
}

LRESULT Binding::OnColor(HDC dc, HWND from, UINT msg) {
    Native* n = ByHwnd(from);
    if (n && IsTextBox(*n->model)) {
        const COLORREF back = Resolve(n->model->backColor);
        SetBkColor(dc, back);
        SetTextColor(dc, Resolve(n->model->foreColor));
        return reinterpret_cast<LRESULT>(BrushFor(back));
    }
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
