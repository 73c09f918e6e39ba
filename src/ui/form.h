// The toolkit-independent form model. Each control is plain data (name, kind, rectangle in
// twips, tab index, font, text, enabled state, colours) plus the events the window code
// handles, so that a native binder can build real windows from it and tests can drive it like
// a user: keys, focus moves, typing, clicks and timer ticks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"

namespace quorvel::ui {

// Colours as the host's toolkit stores them: 0x00BBGGRR, or 0x800000nn for a system colour.
using Color = uint32_t;
namespace color {
inline constexpr Color kLightYellow = 0x00C0FFFF;
inline constexpr Color kWhite = 0x00FFFFFF;
inline constexpr Color kNavy = 0x00800000;
inline constexpr Color kWindowBackground = 0x80000005;
inline constexpr Color kWindowText = 0x80000008;
inline constexpr Color kButtonFace = 0x8000000F;
inline constexpr Color kButtonText = 0x80000012;
}  // namespace color

// Key codes the windows look at.
namespace key {
inline constexpr int16_t kBack = 8;
inline constexpr int16_t kTab = 9;
inline constexpr int16_t kEnter = 13;
inline constexpr int16_t kEsc = 27;
inline constexpr int16_t kSpace = 32;
inline constexpr int16_t kEnd = 35;
inline constexpr int16_t kHome = 36;
inline constexpr int16_t kLeft = 37;
inline constexpr int16_t kUp = 38;
inline constexpr int16_t kRight = 39;
inline constexpr int16_t kDown = 40;
inline constexpr int16_t kDelete = 46;
inline constexpr int16_t kF3 = 114;
inline constexpr int16_t kF4 = 115;
inline constexpr int16_t kF5 = 116;
inline constexpr int16_t kF6 = 117;
}  // namespace key

// Shift state bits of a key event.
namespace shift {
inline constexpr int16_t kShift = 1;
inline constexpr int16_t kCtrl = 2;
inline constexpr int16_t kAlt = 4;
}  // namespace shift

struct Twips {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const Twips&) const = default;
};

struct Font {
    std::u16string name = u"宋体";
    double points = 9;
};

enum class ControlKind {
    Label,
    TextBox,
    NumericBox,
    CommandButton,
    ListBox,
    Grid,
    Toolbar,
    StatusBar,
    Frame,
    PictureBox,
    Timer,
};

class Window;

class Control {
  public:
    Control(Window& owner, ControlKind kind, std::u16string name);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::u16string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }
    Window& Owner() const { return owner_; }

    // Design-time settings; fixed once the window is built.
    std::u16string container;  // name of the frame it sits in; empty for the window itself
    Twips rect;
    int16_t tabIndex = 0;
    bool tabStop = true;
    Font font;
    Color backColor = color::kWindowBackground;
    Color foreColor = color::kWindowText;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // Whether this kind of control can hold the keyboard focus at all.
    virtual bool TakesFocus() const { return false; }
    bool CanFocus() const { return TakesFocus() && enabled_ && visible_; }
    bool HasFocus() const;
    void SetFocus();  // fails (invalid procedure call) on a control that cannot take the focus

    // Events the window code handles; empty when the window has no handler.
    std::function<void()> GotFocus;
    std::function<void()> LostFocus;
    std::function<void()> Click;
    std::function<void()> DblClick;
    std::function<void(int16_t& keyCode, int16_t shift)> KeyDown;

  protected:
    friend class Window;
    // What the control itself does with a key after every handler has seen it.
    virtual void DefaultKey(int16_t /*keyCode*/) {}
    // What the control itself does when the focus arrives, before its GotFocus handler.
    virtual void Entered() {}
    virtual void TypeText(std::u16string_view /*text*/) {}
    void Changed();
    void RaiseEvent(const std::function<void()>& event);  // at the host boundary

  private:
    Window& owner_;
    ControlKind kind_;
    std::u16string name_;
    bool enabled_ = true;
    bool visible_ = true;
};

class Label : public Control {
  public:
    Label(Window& owner, std::u16string name)
        : Control(owner, ControlKind::Label, std::move(name)) {}
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption);

  private:
    std::u16string caption_;
};

class Frame : public Label {
  public:
    Frame(Window& owner, std::u16string name);
};

class PictureBox : public Control {
  public:
    PictureBox(Window& owner, std::u16string name)
        : Control(owner, ControlKind::PictureBox, std::move(name)) {}
    int32_t pictureWidthPx = 0;  // the banner picture's size; the box sizes itself to it
    int32_t pictureHeightPx = 0;
    bool border = false;
};

// A single-line text box with a caret and a selection, as typing and SelectAllText need them.
class TextBox : public Control {
  public:
    TextBox(Window& owner, std::u16string name)
        : TextBox(owner, ControlKind::TextBox, std::move(name)) {}
    bool TakesFocus() const override { return true; }

    const std::u16string& Text() const { return text_; }
    void SetText(std::u16string text);  // caret to the start, nothing selected
    int32_t SelStart() const { return selStart_; }
    int32_t SelLength() const { return selLength_; }
    void SetSelStart(int32_t start);
    void SetSelLength(int32_t length);
    std::u16string SelText() const;

    // The text as a native edit control now holds it, however it got there (typing, paste, an
    // input method, undo, drag and drop). Characters the box refuses, and halves of a pair,
    // are dropped; the caret stays where the user left it.
    void Edited(std::u16string_view text, int32_t selStart, int32_t selLength);
    // The user moved the caret or the selection; nothing else changed, so nothing is echoed.
    void Selected(int32_t selStart, int32_t selLength);
    // Whether the box takes this character at all: control characters never, as the box holds
    // one line (a pasted tab would otherwise end up inside an id).
    virtual bool Accepts(char16_t c) const { return c >= 0x20 && c != 0x7F; }

  protected:
    TextBox(Window& owner, ControlKind kind, std::u16string name)
        : Control(owner, kind, std::move(name)) {}
    void DefaultKey(int16_t keyCode) override;
    void TypeText(std::u16string_view text) override;

  private:
    void ReplaceSelection(std::u16string_view with);
    std::u16string text_;
    int32_t selStart_ = 0;
    int32_t selLength_ = 0;
};

// The numeric edit box: its default property is its text, read and written as text; its value
// is the number that text stands for (0 while it stands for none).
class NumericBox : public TextBox {
  public:
    NumericBox(Window& owner, std::u16string name);
    double Value() const;
    void SetValue(double v);

    int16_t decimalPlaces = 0;
    double min = 0;
    double max = 1E10;
    bool showZero = true;
    int16_t borderStyle = 1;

    bool Accepts(char16_t c) const override;  // digits; a point with decimals; minus below 0

  protected:
    void Entered() override;  // selects the whole text, so that typing replaces the value
};

class CommandButton : public Control {
  public:
    CommandButton(Window& owner, std::u16string name)
        : Control(owner, ControlKind::CommandButton, std::move(name)) {
        backColor = color::kButtonFace;
        foreColor = color::kButtonText;
    }
    bool TakesFocus() const override { return true; }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption);

  protected:
    void DefaultKey(int16_t keyCode) override;  // Enter and Space press a focused button

  private:
    std::u16string caption_;
};

// Single selection, unsorted: items stay in the order they were added.
class ListBox : public Control {
  public:
    ListBox(Window& owner, std::u16string name)
        : Control(owner, ControlKind::ListBox, std::move(name)) {}
    bool TakesFocus() const override { return true; }
    static constexpr bool kSorted = false;
    static constexpr bool kMultiSelect = false;

    void AddItem(std::u16string item);
    void Clear();
    int32_t ListCount() const { return static_cast<int32_t>(items_.size()); }
    const std::u16string& List(int32_t index) const;
    int32_t ListIndex() const { return index_; }
    // Selecting an item raises the click notification, as a click by the user would.
    void SetListIndex(int32_t index);
    std::u16string Text() const;  // the current item, or "" without one

  protected:
    void DefaultKey(int16_t keyCode) override;

  private:
    std::vector<std::u16string> items_;
    int32_t index_ = -1;
};

// A read-only grid bound to a query result: row 0 is the fixed header of column names, column
// 0 the fixed leading column without data, so data sit at rows and columns from 1.
class Grid : public Control {
  public:
    Grid(Window& owner, std::u16string name, int32_t designRows, int32_t designCols);
    bool TakesFocus() const override { return true; }

    // Design settings a binder applies; the model itself never edits or resizes cells.
    int32_t fixedRows = 1;
    int32_t fixedCols = 1;
    bool selectWholeRows = true;
    bool editable = false;
    bool userResize = false;
    bool bothScrollBars = true;
    bool autoSizeColumns = true;

    // Binding to no result leaves the header row only.
    void SetDataSource(const std::shared_ptr<Recordset>& rs);
    // Rows of text shown as a bound result would be: the header, then the data rows.
    void SetCells(const std::vector<std::u16string>& header,
                  const std::vector<std::vector<std::u16string>>& rows);
    const std::shared_ptr<Recordset>& DataSource() const { return source_; }
    int32_t Rows() const { return static_cast<int32_t>(cells_.size()); }
    int32_t Cols() const { return cols_; }
    int32_t Row() const { return row_; }
    void SetRow(int32_t row);
    const std::u16string& TextMatrix(int32_t row, int32_t col) const;

  protected:
    void DefaultKey(int16_t keyCode) override;  // Up and Down move between the data rows

  private:
    std::vector<std::vector<std::u16string>> cells_;
    int32_t cols_ = 0;
    int32_t row_ = 0;
    std::shared_ptr<Recordset> source_;
};

struct ToolbarButton {
    std::u16string key;
    std::u16string caption;
    int16_t image = 0;  // 1-based index into the toolbar's images; 0 for none
    bool separator = false;
};

class Toolbar : public Control {
  public:
    Toolbar(Window& owner, std::u16string name)
        : Control(owner, ControlKind::Toolbar, std::move(name)) {}
    std::vector<ToolbarButton> buttons;
    int16_t imageCount = 0;  // images of 16 x 16 pixels in its image list
    // The button with this key; fails as the toolbar's collection does when there is none.
    const ToolbarButton& Button(std::u16string_view key) const;
    std::function<void(const ToolbarButton&)> ButtonClick;
};

class StatusBar : public Control {
  public:
    StatusBar(Window& owner, std::u16string name)
        : Control(owner, ControlKind::StatusBar, std::move(name)) {}
    std::u16string panelText;
};

// One-shot use: the tick handler switches its own timer off. A timer without an interval never
// ticks, however long it stays switched on.
class Timer : public Control {
  public:
    Timer(Window& owner, std::u16string name)
        : Control(owner, ControlKind::Timer, std::move(name)) {}
    int32_t interval = 0;  // milliseconds
    std::function<void()> Tick;
};

// Border and placement of a window; the model's windows are all fixed dialogs.
struct WindowStyle {
    bool fixedDialog = true;
    bool minButton = false;
    bool maxButton = false;
    bool showInTaskbar = false;
    bool centreOnScreen = true;
};

class Window {
  public:
    explicit Window(std::u16string name);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::u16string& Name() const { return name_; }
    std::u16string caption;
    int32_t clientWidth = 0;  // twips
    int32_t clientHeight = 0;
    Font font;
    bool keyPreview = false;
    WindowStyle style;

    const std::vector<Control*>& Controls() const { return controls_; }
    Control* Find(std::u16string_view name) const;

    // Lifecycle. A host shows a window modally by BeginModal (load, show, first focus), running
    // its loop while IsOpen, then EndModal (closes it if the user has not).
    bool BeginModal();
    void EndModal();
    void Unload();  // the window's own close: Esc, the exit button, the close box
    bool IsLoaded() const { return loaded_; }
    bool IsOpen() const { return loaded_ && shown_; }

    // Focus. Next and previous field follow the tab order and skip what cannot take the focus.
    Control* Focused() const { return focus_; }
    void SetFocus(Control& c);
    void NextField();
    void PreviousField();

    // The user. Each of these is a boundary: nothing thrown by a handler leaves it.
    void PressKey(int16_t keyCode, int16_t shiftState = 0);
    // A key in two halves, for a binder whose native controls do their own editing: the
    // window's key preview and the focused control's handler, then the control's own action.
    // PreviewKey returns the control whose own action is still due, or nullptr when a handler
    // used the key up (set it to 0), moved on with Tab, or the window closed.
    Control* PreviewKey(int16_t& keyCode, int16_t shiftState);
    void ControlKey(Control& target, int16_t keyCode);
    void Type(std::u16string_view text);  // into the focused control
    void ClickOn(Control& c);             // a mouse click: focus, then the click event
    void DoubleClickOn(Control& c);
    void ClickToolbar(Toolbar& t, std::u16string_view key);
    void Tab() { PressKey(key::kTab); }
    void ShiftTab() { PressKey(key::kTab, shift::kShift); }
    void TickTimers();  // every switched-on timer with an interval ticks once

    // A binder that mirrors the model in native windows listens here.
    std::function<void(Control&)> onControlChanged;

  protected:
    template <typename C, typename... Args>
    C& Add(std::u16string name, Args&&... args) {
        auto c = std::make_unique<C>(*this, std::move(name), std::forward<Args>(args)...);
        C& ref = *c;
        owned_.push_back(std::move(c));
        controls_.push_back(&ref);
        return ref;
    }

    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_KeyDown(int16_t& /*keyCode*/, int16_t /*shift*/) {}

    // Runs a handler at the host boundary: a failure is shown, never passed on.
    void Guard(const std::function<void()>& handler) noexcept;

  private:
    friend class Control;
    void Fire(const std::function<void()>& event) noexcept;
    std::vector<Control*> TabOrder() const;
    void MoveFocus(bool forward);

    std::u16string name_;
    std::vector<std::unique_ptr<Control>> owned_;
    std::vector<Control*> controls_;
    Control* focus_ = nullptr;
    Control* arriving_ = nullptr;
    bool loaded_ = false;
    bool shown_ = false;
};

// Shows windows modally. The native binder supplies the real one; tests script the user.
class WindowHost {
  public:
    virtual ~WindowHost() = default;
    virtual void ShowModal(Window& w) = 0;
};

// The host of the calling thread; nullptr restores the fallback, which opens a window and
// closes it again at once (there is no user to drive it). The caller keeps ownership.
void SetWindowHost(WindowHost* host);
WindowHost& CurrentWindowHost();

}  // namespace quorvel::ui
