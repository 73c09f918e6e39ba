// The form model on its own: focus moves, key routing, typing, timers, lists, toolbar, boundary.
#include <gtest/gtest.h>

#include "store/error.h"
#include "support.h"
#include "ui/form.h"
#include "ui/window_helpers.h"

using namespace quorvel;
using namespace quorvel::ui;
using quorvel::test::RecordingBoxes;

namespace {

class Probe : public Window {
  public:
    Probe()
        : Window(u"Probe"),
          a(Add<TextBox>(u"a")),
          b(Add<TextBox>(u"b")),
          c(Add<NumericBox>(u"c")),
          button(Add<CommandButton>(u"button")),
          label(Add<Label>(u"label")),
          timer(Add<Timer>(u"timer")) {
        keyPreview = true;
        a.tabIndex = 2;
        b.tabIndex = 0;
        c.tabIndex = 1;
        button.tabIndex = 3;
        label.tabIndex = 4;
        for (Control* x : {static_cast<Control*>(&a), static_cast<Control*>(&b),
                           static_cast<Control*>(&c), static_cast<Control*>(&button)}) {
            x->KeyDown = [this, x](int16_t& k, int16_t s) {
                log += x->Name() + u":" + ToU16(k) + u"/" + ToU16(s) + u" ";
            };
            x->GotFocus = [this, x] { log += u"+" + x->Name() + u" "; };
            x->LostFocus = [this, x] { log += u"-" + x->Name() + u" "; };
        }
        button.Click = [this] { log += u"click "; };
    }
    void Form_KeyDown(int16_t& k, int16_t s) override {
        log += u"form:" + ToU16(k) + u"/" + ToU16(s) + u" ";
        if (k == 99) throw DbError(7, u"boom");
        if (k == key::kEsc) Unload();
    }
    void Form_Unload() override { log += u"unload "; }

    TextBox& a;
    TextBox& b;
    NumericBox& c;
    CommandButton& button;
    Label& label;
    Timer& timer;
    std::u16string log;
};

TEST(FormModel, TabOrderSkipsDisabledAndWraps) {
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    EXPECT_EQ(w.Focused(), &w.b);  // lowest tab index that takes the focus
    w.c.SetEnabled(false);
    w.Tab();
    EXPECT_EQ(w.Focused(), &w.a);
    w.Tab();
    EXPECT_EQ(w.Focused(), &w.button);
    w.Tab();  // the label takes no focus: round to the start
    EXPECT_EQ(w.Focused(), &w.b);
    w.ShiftTab();
    EXPECT_EQ(w.Focused(), &w.button);
    EXPECT_THROW(w.c.SetFocus(), DbError);  // a disabled control refuses the focus
    EXPECT_EQ(w.log.find(u"form:9"), std::u16string::npos) << "Tab reached a key handler";
    // The focus events come in the toolkit's order: the old control loses it first.
    EXPECT_NE(w.log.find(u"-b +button"), std::u16string::npos);
}

TEST(FormModel, KeyPreviewRunsWindowThenControlThenDefault) {
    RecordingBoxes boxes;
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    w.Type(u"xyz");
    w.log.clear();
    w.PressKey(key::kBack, shift::kShift | shift::kCtrl);
    EXPECT_EQ(w.log, u"form:8/3 b:8/3 ");
    EXPECT_EQ(w.b.Text(), u"xy");  // the key was not swallowed: the box still erased a character
    w.log.clear();
    w.PressKey(99);  // a failing window handler is shown, and the control still gets the key
    EXPECT_EQ(w.log, u"form:99/0 b:99/0 ");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"boom");
    w.PressKey(key::kEsc);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(w.log.find(u"b:27"), std::u16string::npos) << "a closed window routed the key on";
}

TEST(FormModel, TypingEditsTheSelectionAndDeleteErases) {
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    w.b.SetText(u"hello");
    SelectAllText(w.b);
    EXPECT_EQ(w.b.SelText(), u"hello");
    w.Type(u"AB");
    EXPECT_EQ(w.b.Text(), u"AB");
    w.PressKey(key::kHome);
    w.PressKey(key::kDelete);
    EXPECT_EQ(w.b.Text(), u"B");
    w.b.SetText(u"");
    SelectAllText(w.b);  // an empty box: nothing selected, no failure
    EXPECT_EQ(w.b.SelLength(), 0);
    w.Type(u"a\U0001F600");
    w.PressKey(key::kBack);  // the pair goes as one character
    EXPECT_EQ(w.b.Text(), u"a");

    // Entering a numeric box selects what it shows, so that typing replaces it.
    w.c.SetText(u"0");
    w.ClickOn(w.c);
    EXPECT_EQ(w.c.SelText(), u"0");
    w.Type(u"4a.5-");  // no decimal places, minimum 0: letters, point and minus are refused
    EXPECT_EQ(w.c.Text(), u"45");
    EXPECT_EQ(w.c.Value(), 45);
    w.c.min = -10;
    w.Type(u"-");
    EXPECT_EQ(w.c.Text(), u"45-");
    EXPECT_EQ(w.c.Value(), 0);  // not a number as a whole
    w.c.SetText(u"");
    EXPECT_EQ(w.c.Value(), 0);
}

TEST(FormModel, NativeEditsReachTheModelWithoutWhatTheBoxRefuses) {
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    int changes = 0;
    w.onControlChanged = [&](Control&) { ++changes; };
    struct Case {
        TextBox* box;
        std::u16string text;
        int32_t selStart, selLength;
        std::u16string kept;
        int32_t keptStart, keptLength;
    };
    const Case cases[] = {
        {&w.a, u"条形码规则", 5, 0, u"条形码规则", 5, 0},  // an input method's result
        {&w.a, u"R\t1\r\n", 5, 0, u"R1", 2, 0},            // a pasted id with a tab and a line end
        {&w.a, u"a\xD83D", 2, 0, u"a", 1, 0},              // Backspace took half of a character
        {&w.a, u"\tAB", 1, 2, u"AB", 0, 2},
        {&w.c, u"-12", 3, 0, u"12", 2, 0},  // minimum 0: a pasted minus goes
    };
    for (const Case& c : cases) {
        c.box->Edited(c.text, c.selStart, c.selLength);
        EXPECT_EQ(c.box->Text(), c.kept);
        EXPECT_EQ(c.box->SelStart(), c.keptStart);
        EXPECT_EQ(c.box->SelLength(), c.keptLength);
    }
    EXPECT_EQ(changes, 5);
    w.a.Selected(1, 99);  // a caret move is taken as it is, within the text, and not echoed
    EXPECT_EQ(w.a.SelText(), u"B");
    EXPECT_EQ(changes, 5);
}

TEST(FormModel, FocusSentBackByLostFocusStays) {
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    w.b.LostFocus = [&] { w.b.SetFocus(); };
    w.log.clear();
    w.Tab();
    EXPECT_EQ(w.Focused(), &w.b);
    EXPECT_EQ(w.log, u"+b ");  // the control it bounced off got no focus events
}

TEST(FormModel, EnterOrSpacePressesAFocusedButton) {
    Probe w;
    ASSERT_TRUE(w.BeginModal());
    w.ClickOn(w.button);
    w.log.clear();
    w.PressKey(key::kEnter);
    w.PressKey(key::kSpace);
    EXPECT_EQ(w.log, u"form:13/0 button:13/0 click form:32/0 button:32/0 click ");
}

TEST(FormModel, TimersTickOnceWhenSwitchedOnWithAnInterval) {
    Probe w;
    int ticks = 0;
    w.timer.Tick = [&] {
        ++ticks;
        w.timer.SetEnabled(false);
    };
    ASSERT_TRUE(w.BeginModal());
    w.timer.interval = 0;
    w.TickTimers();
    EXPECT_EQ(ticks, 0);  // switched on but without an interval: never
    w.timer.interval = 1;
    w.TickTimers();
    w.TickTimers();
    EXPECT_EQ(ticks, 1);
}

TEST(FormModel, ListSelectionRaisesClickAndArrowsMoveIt) {
    class ListWindow : public Window {
      public:
        ListWindow() : Window(u"L"), list(Add<ListBox>(u"list")) {}
        ListBox& list;
    } w;
    int clicks = 0;
    w.list.Click = [&] { ++clicks; };
    ASSERT_TRUE(w.BeginModal());
    EXPECT_EQ(w.list.Text(), u"");
    w.list.AddItem(u"one");
    w.list.AddItem(u"two");
    w.list.SetListIndex(0);
    EXPECT_EQ(clicks, 1);
    w.PressKey(key::kDown);
    EXPECT_EQ(w.list.Text(), u"two");
    w.PressKey(key::kDown);  // already the last
    EXPECT_EQ(clicks, 2);
    EXPECT_THROW(w.list.SetListIndex(2), DbError);
    w.list.Clear();
    EXPECT_EQ(w.list.ListIndex(), -1);
}

TEST(FormModel, ToolbarFindsButtonsByKeyAndBinderSeesChanges) {
    class T : public Window {
      public:
        T() : Window(u"T"), bar(Add<Toolbar>(u"bar")), box(Add<TextBox>(u"box")) {}
        Toolbar& bar;
        TextBox& box;
    } w;
    w.bar.buttons = {{u"k1", u"c1", 1, false}, {u"", u"", 0, true}};
    EXPECT_EQ(w.bar.Button(u"K1").caption, u"c1");
    EXPECT_THROW(w.bar.Button(u""), DbError);  // the gap has no key
    std::vector<std::u16string> changed;
    w.onControlChanged = [&](Control& c) { changed.push_back(c.Name()); };
    w.box.SetText(u"x");
    w.box.SetEnabled(false);
    EXPECT_EQ(changed, (std::vector<std::u16string>{u"box", u"box"}));
    std::u16string clicked;
    w.bar.ButtonClick = [&](const ToolbarButton& b) { clicked = b.key; };
    ASSERT_TRUE(w.BeginModal());
    w.ClickToolbar(w.bar, u"k1");
    EXPECT_EQ(clicked, u"k1");
}

}  // namespace
