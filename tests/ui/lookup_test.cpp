// The category id field: lookup by Enter, the list of all categories, and its hold on the focus.
#include "store/module_state.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

class Lookup : public UiScenario {
  protected:
    std::unique_ptr<FrmDefine> AtCategory() {
        auto w = OpenEditor(true);
        w->Type(u"R");
        w->PressKey(key::kEnter);
        w->PressKey(key::kEnter);
        w->PressKey(key::kEnter);
        EXPECT_EQ(w->Focused(), &w->txtClassId);
        return w;
    }
};

TEST_F(Lookup, EnterOffersEveryCategoryOrTheTypedOneAndWritesThePickBack) {
    auto w = AtCategory();
    picker.choose = [](const ScriptedPicker::Call& c) -> std::optional<size_t> {
        for (size_t i = 0; i < c.rows.size(); ++i) {
            if (c.rows[i][0] == u"W") return i;
        }
        return std::optional<size_t>(0);
    };
    w->PressKey(key::kEnter, shift::kShift);  // Shift+Enter is Enter
    ASSERT_EQ(picker.calls.size(), 1u);
    EXPECT_EQ(picker.calls[0].sql, u"select id as 编号,name as 名称 from glsx where fid=1006");
    EXPECT_EQ(picker.calls[0].connString, store->ConnString());
    EXPECT_EQ(picker.calls[0].option, 0);
    EXPECT_EQ(picker.calls[0].rows.size(), 4u);
    EXPECT_EQ(w->txtClassId.Text(), u"W");
    EXPECT_EQ(w->txtClassName.Text(), u"重量");
    EXPECT_EQ(w->Focused(), &w->txtEndWs);

    w->PressKey(key::kUp);
    w->Type(u"B");
    w->PressKey(key::kEnter);
    EXPECT_EQ(picker.calls.back().sql,
              u"select id as 编号,name as 名称 from glsx where id='B' and fid=1006");
    EXPECT_EQ(w->txtClassName.Text(), u"金额");

    w->PressKey(key::kUp);
    w->Type(u"K");  // a category of another family: not a segment category
    w->PressKey(key::kEnter);
    EXPECT_TRUE(picker.calls.back().rows.empty());
    EXPECT_EQ(w->txtClassId.Text(), u"K");
    EXPECT_EQ(w->txtClassName.Text(), u"金额");  // the old name stays
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Lookup, AnEmptyFieldKeepsTheFocus) {
    auto w = AtCategory();
    w->PressKey(key::kEnter);  // the user gives the list up
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->Tab();
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->PressKey(key::kUp);
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->ClickOn(w->TxtGZName);
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    EXPECT_TRUE(boxes.boxes.empty());

    w->Type(u"ZZ");  // a text that is no category leaves freely, without a lookup
    w->ClickOn(w->TxtGZName);
    EXPECT_EQ(w->Focused(), &w->TxtGZName);
    EXPECT_EQ(picker.calls.size(), 1u);
    w->PressKey(key::kDown);
    w->PressKey(key::kDown);
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->PressKey(key::kDown);  // Down behaves as Tab
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
}

TEST_F(Lookup, AnOddOrFailingPickerLeavesTheFieldsAndMovesOn) {
    auto w = AtCategory();
    w->Type(u"A");
    w->txtClassName.SetText(u"old");
    struct Case {
        const char* what;
        PickValue value;
        const char16_t* id;
        const char16_t* name;
    };
    const std::vector<Case> cases = {
        {"not an array", FieldValue::Text(u"A"), u"A", u"old"},
        {"empty array", std::vector<FieldValue>{}, u"A", u"old"},
        {"nothing chosen", std::vector<FieldValue>{FieldValue::I16(0), FieldValue::Text(u"B")},
         u"A", u"old"},
        {"id only", std::vector<FieldValue>{FieldValue::I16(1), FieldValue::Text(u"B")}, u"B",
         u"old"},
        {"a Null name",
         std::vector<FieldValue>{FieldValue::I16(2), FieldValue::Text(u"W"), FieldValue::Null()},
         u"W", u"old"},
        {"a text count", std::vector<FieldValue>{FieldValue::Text(u"x"), FieldValue::Text(u"P")},
         u"W", u"old"},
    };
    for (const Case& c : cases) {
        picker.fixedResult = c.value;
        w->ClickOn(w->txtClassId);
        w->PressKey(key::kEnter);
        EXPECT_EQ(w->txtClassId.Text(), c.id) << c.what;
        EXPECT_EQ(w->txtClassName.Text(), c.name) << c.what;
        EXPECT_EQ(w->Focused(), &w->txtEndWs) << c.what;
    }
    picker.failToCreate = true;
    w->ClickOn(w->txtClassId);
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->txtClassId.Text(), u"W");
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
