#include "ui/form.h"

#include <algorithm>

#include "store/error.h"
#include "store/message_box.h"
#include "store/text.h"
#include "store/value.h"

namespace quorvel::ui {

namespace {
// Errors of the toolkit's own controls, with the descriptions it gives them.
constexpr long kInvalidPropertyValue = 380;
constexpr long kInvalidRowValue = 381;
constexpr long kElementNotFound = 35601;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
}  // namespace

// ---- Control

Control::Control(Window& owner, ControlKind kind, std::u16string name)
    : owner_(owner), kind_(kind), name_(std::move(name)) {}

void Control::Changed() {
    if (owner_.onControlChanged) owner_.onControlChanged(*this);
}

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    // A control that loses its ability to hold the focus drops it: keys then reach the window only.
    if (!enabled && owner_.focus_ == this) owner_.focus_ = nullptr;
    Changed();
}

void Control::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (!visible && owner_.focus_ == this) owner_.focus_ = nullptr;
    Changed();
}

void Control::RaiseEvent(const std::function<void()>& event) {
    owner_.Fire(event);
}

bool Control::HasFocus() const {
    return owner_.focus_ == this;
}

void Control::SetFocus() {
    owner_.SetFocus(*this);
}

void Label::SetCaption(std::u16string caption) {
    caption_ = std::move(caption);
    Changed();
}

Frame::Frame(Window& owner, std::u16string name) : Label(owner, std::move(name)) {}

// ---- TextBox

void TextBox::SetText(std::u16string text) {
    text_ = std::move(text);
    selStart_ = 0;
    selLength_ = 0;
    Changed();
}

void TextBox::SetSelStart(int32_t start) {
    selStart_ = std::clamp<int32_t>(start, 0, static_cast<int32_t>(text_.size()));
    selLength_ = 0;
    Changed();
}

void TextBox::SetSelLength(int32_t length) {
    selLength_ = std::clamp<int32_t>(length, 0, static_cast<int32_t>(text_.size()) - selStart_);
    Changed();
}

std::u16string TextBox::SelText() const {
    return text_.substr(static_cast<size_t>(selStart_), static_cast<size_t>(selLength_));
}

void TextBox::ReplaceSelection(std::u16string_view with) {
    text_.replace(static_cast<size_t>(selStart_), static_cast<size_t>(selLength_), with);
    selStart_ += static_cast<int32_t>(with.size());
    selLength_ = 0;
    Changed();
}

void TextBox::Edited(std::u16string_view text, int32_t selStart, int32_t selLength) {
    std::u16string kept;
    int32_t start = selStart;
    int32_t end = selStart + selLength;
    for (size_t i = 0; i < text.size(); ++i) {
        // Half a pair is what an edit control leaves when it erases one code unit of a
        // character outside the basic plane; it goes with the other half.
        const bool paired = IsHighSurrogate(text[i])
                                ? i + 1 < text.size() && IsLowSurrogate(text[i + 1])
                            : IsLowSurrogate(text[i]) ? i > 0 && IsHighSurrogate(text[i - 1])
                                                      : true;
        if (paired && Accepts(text[i])) {
            kept.push_back(text[i]);
            continue;
        }
        const auto at = static_cast<int32_t>(i);
        if (at < selStart) --start;
        if (at < selStart + selLength) --end;
    }
    text_ = std::move(kept);
    const auto len = static_cast<int32_t>(text_.size());
    selStart_ = std::clamp<int32_t>(start, 0, len);
    selLength_ = std::clamp<int32_t>(end - selStart_, 0, len - selStart_);
    Changed();
}

void TextBox::Selected(int32_t selStart, int32_t selLength) {
    const auto len = static_cast<int32_t>(text_.size());
    selStart_ = std::clamp<int32_t>(selStart, 0, len);
    selLength_ = std::clamp<int32_t>(selLength, 0, len - selStart_);
}

void TextBox::TypeText(std::u16string_view text) {
    for (char16_t c : text) {
        if (Accepts(c)) ReplaceSelection(std::u16string_view(&c, 1));
    }
}

void TextBox::DefaultKey(int16_t keyCode) {
    const auto len = static_cast<int32_t>(text_.size());
    switch (keyCode) {
        case key::kDelete:
            if (selLength_ == 0 && selStart_ < len) selLength_ = 1;
            ReplaceSelection(u"");
            break;
        case key::kBack:
            if (selLength_ == 0 && selStart_ > 0) {
                --selStart_;
                selLength_ = 1;
                // A character outside the basic plane is two code units and goes as one.
                if (selStart_ > 0 && IsLowSurrogate(text_[static_cast<size_t>(selStart_)]) &&
                    IsHighSurrogate(text_[static_cast<size_t>(selStart_) - 1])) {
                    --selStart_;
                    selLength_ = 2;
                }
            }
            ReplaceSelection(u"");
            break;
        case key::kLeft:
            SetSelStart(selStart_ - 1);
            break;
        case key::kRight:
            SetSelStart(selStart_ + selLength_ + 1);
            break;
        case key::kHome:
            SetSelStart(0);
            break;
        case key::kEnd:
            SetSelStart(len);
            break;
        default:
            break;
    }
}

// ---- NumericBox

NumericBox::NumericBox(Window& owner, std::u16string name)
    : TextBox(owner, ControlKind::NumericBox, std::move(name)) {
    font.points = 9.75;
    foreColor = color::kNavy;
}

double NumericBox::Value() const {
    double v = 0;
    return ParseNumber(Text(), v) ? v : 0;
}

void NumericBox::SetValue(double v) {
    SetText(FormatReal(v));
}

bool NumericBox::Accepts(char16_t c) const {
    return (c >= u'0' && c <= u'9') || (c == u'-' && min < 0) || (c == u'.' && decimalPlaces > 0);
}

void NumericBox::Entered() {
    SetSelStart(0);
    SetSelLength(static_cast<int32_t>(Text().size()));
}

// ---- CommandButton

void CommandButton::SetCaption(std::u16string caption) {
    caption_ = std::move(caption);
    Changed();
}

void CommandButton::DefaultKey(int16_t keyCode) {
    if (keyCode == key::kEnter || keyCode == key::kSpace) RaiseEvent(Click);
}

// ---- ListBox

void ListBox::AddItem(std::u16string item) {
    items_.push_back(std::move(item));
    Changed();
}

void ListBox::Clear() {
    items_.clear();
    index_ = -1;
    Changed();
}

const std::u16string& ListBox::List(int32_t index) const {
    if (index < 0 || index >= ListCount())
        throw DbError(kInvalidPropertyValue, u"Invalid property value");
    return items_[static_cast<size_t>(index)];
}

void ListBox::SetListIndex(int32_t index) {
    if (index < -1 || index >= ListCount())
        throw DbError(kInvalidPropertyValue, u"Invalid property value");
    index_ = index;
    Changed();
    if (index >= 0) RaiseEvent(Click);
}

std::u16string ListBox::Text() const {
    return index_ >= 0 ? items_[static_cast<size_t>(index_)] : u"";
}

void ListBox::DefaultKey(int16_t keyCode) {
    if (keyCode == key::kDown && index_ + 1 < ListCount()) SetListIndex(index_ + 1);
    if (keyCode == key::kUp && index_ > 0) SetListIndex(index_ - 1);
}

// ---- Grid

Grid::Grid(Window& owner, std::u16string name, int32_t designRows, int32_t designCols)
    : Control(owner, ControlKind::Grid, std::move(name)),
      cells_(static_cast<size_t>(std::max(designRows, 1)),
             std::vector<std::u16string>(static_cast<size_t>(std::max(designCols, 1)))),
      cols_(std::max(designCols, 1)),
      row_(designRows > 1 ? 1 : -1) {
    font.points = 9;
    backColor = color::kWindowBackground;
}

void Grid::SetDataSource(const std::shared_ptr<Recordset>& rs) {
    std::vector<std::vector<std::u16string>> cells;
    int32_t cols = 1;
    if (rs && rs->State() == kStateOpen) {
        const auto& columns = rs->Columns();
        cols = static_cast<int32_t>(columns.size()) + 1;
        std::vector<std::u16string> header{u""};
        for (const Column& c : columns) header.push_back(c.name);
        cells.push_back(std::move(header));
        if (rs->RecordCount() > 0) {
            rs->MoveFirst();
            for (; !rs->Eof(); rs->MoveNext()) {
                std::vector<std::u16string> row{u""};
                for (size_t i = 0; i < columns.size(); ++i) {
                    const FieldValue& v = rs->Value(i);
                    row.push_back(v.IsNull() ? std::u16string() : v.ToText());
                }
                cells.push_back(std::move(row));
            }
            rs->MoveFirst();
        }
    } else {
        cells.emplace_back(1);
    }
    cells_ = std::move(cells);
    cols_ = cols;
    source_ = rs;
    row_ = Rows() > 1 ? 1 : -1;
    Changed();
}

void Grid::SetCells(const std::vector<std::u16string>& header,
                    const std::vector<std::vector<std::u16string>>& rows) {
    std::vector<std::vector<std::u16string>> cells;
    cells.push_back({u""});
    cells[0].insert(cells[0].end(), header.begin(), header.end());
    for (const auto& r : rows) {
        cells.push_back({u""});
        cells.back().insert(cells.back().end(), r.begin(), r.end());
    }
    cells_ = std::move(cells);
    cols_ = static_cast<int32_t>(header.size()) + 1;
    source_.reset();
    row_ = Rows() > 1 ? 1 : -1;
    Changed();
}

void Grid::SetRow(int32_t row) {
    if (row < 0 || row >= Rows()) throw DbError(kInvalidRowValue, u"Invalid Row value");
    row_ = row;
    Changed();
}

const std::u16string& Grid::TextMatrix(int32_t row, int32_t col) const {
    if (row < 0 || row >= Rows()) throw DbError(kInvalidRowValue, u"Invalid Row value");
    if (col < 0 || col >= cols_) throw DbError(kInvalidRowValue + 1, u"Invalid Column value");
    const auto& r = cells_[static_cast<size_t>(row)];
    static const std::u16string empty;
    return static_cast<size_t>(col) < r.size() ? r[static_cast<size_t>(col)] : empty;
}

void Grid::DefaultKey(int16_t keyCode) {
    if (keyCode == key::kDown && row_ >= 1 && row_ + 1 < Rows()) SetRow(row_ + 1);
    if (keyCode == key::kUp && row_ > 1) SetRow(row_ - 1);
}

// ---- Toolbar

const ToolbarButton& Toolbar::Button(std::u16string_view key) const {
    for (const auto& b : buttons) {
        if (!b.key.empty() && EqualsNoCase(b.key, key)) return b;
    }
    throw DbError(kElementNotFound, u"Element not found");
}

// ---- Window

Window::Window(std::u16string name) : name_(std::move(name)) {}
Window::~Window() = default;

Control* Window::Find(std::u16string_view name) const {
    for (Control* c : controls_) {
        if (EqualsNoCase(c->Name(), name)) return c;
    }
    return nullptr;
}

void Window::Guard(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        try {
            MsgBox(DescribeCurrentException(), mb::kExclamation, u"系统提示");
        } catch (...) {
        }
    }
}

void Window::Fire(const std::function<void()>& event) noexcept {
    if (event) Guard(event);
}

bool Window::BeginModal() {
    if (!loaded_) {
        loaded_ = true;
        Guard([this] { Form_Load(); });
        if (!loaded_) return false;  // it closed itself while loading
    }
    shown_ = true;
    if (!focus_) {
        for (Control* c : TabOrder()) {
            if (c->CanFocus() && c->tabStop) {
                Guard([this, c] { SetFocus(*c); });
                break;
            }
        }
    }
    return IsOpen();
}

void Window::EndModal() {
    if (loaded_) Unload();
}

void Window::Unload() {
    if (!loaded_) return;
    Guard([this] { Form_Unload(); });
    loaded_ = false;
    shown_ = false;
    focus_ = nullptr;
    arriving_ = nullptr;
}

void Window::SetFocus(Control& c) {
    // As in the host's toolkit: a hidden window, or a control that cannot hold the focus, refuses.
    if (!IsOpen() || !c.CanFocus()) err::Raise(err::kInvalidProcedureCall);
    if (focus_ == &c) return;
    Control* leaving = focus_;
    // A LostFocus handler may send the focus back; then the control it was going to never got
    // it and gets no focus events of its own.
    const bool leavingNeverArrived = leaving && leaving == arriving_;
    focus_ = &c;
    arriving_ = &c;
    if (leaving && !leavingNeverArrived) Fire(leaving->LostFocus);
    if (focus_ == &c) {
        arriving_ = nullptr;
        c.Entered();
        Fire(c.GotFocus);
    }
}

std::vector<Control*> Window::TabOrder() const {
    std::vector<Control*> order;
    for (Control* c : controls_) {
        if (c->TakesFocus()) order.push_back(c);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    return order;
}

void Window::MoveFocus(bool forward) {
    std::vector<Control*> order = TabOrder();
    if (order.empty()) return;
    const auto n = static_cast<long>(order.size());
    long at = -1;
    for (long i = 0; i < n; ++i) {
        if (order[static_cast<size_t>(i)] == focus_) at = i;
    }
    if (at < 0) at = forward ? -1 : n;
    for (long step = 1; step <= n; ++step) {
        long i = forward ? (at + step) % n : ((at - step) % n + n) % n;
        Control* c = order[static_cast<size_t>(i)];
        if (c->CanFocus() && c->tabStop) {
            SetFocus(*c);
            return;
        }
    }
}

void Window::NextField() {
    MoveFocus(true);
}
void Window::PreviousField() {
    MoveFocus(false);
}

void Window::PressKey(int16_t keyCode, int16_t shiftState) {
    int16_t code = keyCode;
    if (Control* target = PreviewKey(code, shiftState)) ControlKey(*target, code);
}

Control* Window::PreviewKey(int16_t& keyCode, int16_t shiftState) {
    if (!IsOpen()) return nullptr;
    if (keyCode == key::kTab) {
        // Tab never reaches the key handlers: the dialog manager moves the focus with it.
        Guard([&] { MoveFocus((shiftState & shift::kShift) == 0); });
        return nullptr;
    }
    Control* target = focus_;
    if (keyPreview) Guard([&] { Form_KeyDown(keyCode, shiftState); });
    if (!IsOpen() || !target || keyCode == 0) return nullptr;
    if (target->KeyDown) Guard([&] { target->KeyDown(keyCode, shiftState); });
    // A handler may have disabled the control meanwhile (a reload locks the rule id); a disabled
    // control takes no input, so it must not erase from the text just reloaded into it.
    if (!IsOpen() || keyCode == 0 || !target->Enabled()) return nullptr;
    return target;
}

void Window::ControlKey(Control& target, int16_t keyCode) {
    Guard([&] { target.DefaultKey(keyCode); });
}

void Window::Type(std::u16string_view text) {
    if (!IsOpen() || !focus_) return;
    Control* target = focus_;
    Guard([&] { target->TypeText(text); });
}

void Window::ClickOn(Control& c) {
    if (!IsOpen() || !c.Enabled()) return;
    if (c.CanFocus()) Guard([&] { SetFocus(c); });
    if (IsOpen()) Fire(c.Click);
}

void Window::DoubleClickOn(Control& c) {
    if (!IsOpen() || !c.Enabled()) return;
    if (c.CanFocus()) Guard([&] { SetFocus(c); });
    if (IsOpen()) Fire(c.DblClick);
}

void Window::ClickToolbar(Toolbar& t, std::u16string_view key) {
    if (!IsOpen() || !t.Enabled()) return;
    Guard([&] {
        const ToolbarButton& b = t.Button(key);
        if (t.ButtonClick) t.ButtonClick(b);
    });
}

void Window::TickTimers() {
    if (!IsOpen()) return;
    std::vector<Timer*> due;
    for (Control* c : controls_) {
        if (c->Kind() != ControlKind::Timer) continue;
        auto* t = static_cast<Timer*>(c);
        if (t->Enabled() && t->interval > 0) due.push_back(t);
    }
    for (Timer* t : due) {
        if (IsOpen() && t->Enabled()) Fire(t->Tick);
    }
}

// ---- Window host

namespace {
class ClosingHost final : public WindowHost {
  public:
    void ShowModal(Window& w) override {
        w.BeginModal();
        w.EndModal();
    }
};
thread_local WindowHost* tHost = nullptr;
}  // namespace

void SetWindowHost(WindowHost* host) {
    tHost = host;
}

WindowHost& CurrentWindowHost() {
    static thread_local ClosingHost fallback;
    return tHost ? *tHost : fallback;
}

}  // namespace quorvel::ui
