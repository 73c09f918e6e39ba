// The record picker dialog: what it offers, how the user chooses or gives up, and what the
// category lookup reads back from it.
#include "ui/picker_dialog.h"

#include "store/module_state.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

constexpr char16_t kAll[] = u"select id as 编号,name as 名称 from glsx where fid=1006";

class PickerDialog : public UiScenario {
  protected:
    // Runs the picker on the store with the user script given; the dialog's grid as offered is
    // kept in `offered`.
    PickValue Pick(const std::u16string& sql, std::function<void(FrmPicker&)> user) {
        host.scripts.push_back([this, user](Window& w) {
            auto& dialog = static_cast<FrmPicker&>(w);
            for (int32_t r = 0; r < dialog.vsfList.Rows(); ++r) {
                offered.push_back(
                    {dialog.vsfList.TextMatrix(r, 1), dialog.vsfList.TextMatrix(r, 2)});
            }
            if (user) user(dialog);
        });
        DialogRecordPicker picker;
        picker.SetConnString(store->ConnString());
        picker.SetSql(sql);
        picker.SetOption(0);
        picker.Show();
        return picker.Result();
    }
    static std::vector<std::u16string> Texts(const PickValue& v) {
        std::vector<std::u16string> out;
        for (const FieldValue& f : std::get<std::vector<FieldValue>>(v)) out.push_back(f.ToText());
        return out;
    }
    std::vector<std::vector<std::u16string>> offered;
};

TEST_F(PickerDialog, OffersEveryRowUnderItsHeadingsAndEnterChoosesTheCurrentOne) {
    PickValue v = Pick(kAll, [](FrmPicker& d) {
        EXPECT_EQ(d.Focused(), &d.vsfList);
        d.PressKey(key::kDown);
        d.PressKey(key::kDown);
        d.PressKey(key::kEnter);
        EXPECT_FALSE(d.IsOpen());
    });
    ASSERT_EQ(host.shown, std::vector<std::u16string>{u"FrmPicker"});
    ASSERT_EQ(offered.size(), 5u);
    EXPECT_EQ(offered[0], (std::vector<std::u16string>{u"编号", u"名称"}));
    EXPECT_EQ(Texts(v), (std::vector<std::u16string>{u"1", offered[3][0], offered[3][1]}));
    EXPECT_NE(offered[3][0], offered[1][0]);
}

TEST_F(PickerDialog, DoubleClickAndTheOkButtonChoose) {
    PickValue v = Pick(kAll, [](FrmPicker& d) {
        d.vsfList.SetRow(4);
        d.DoubleClickOn(d.vsfList);
    });
    EXPECT_EQ(Texts(v), (std::vector<std::u16string>{u"1", offered[4][0], offered[4][1]}));
    offered.clear();
    v = Pick(kAll, [](FrmPicker& d) {
        d.vsfList.SetRow(2);
        d.ClickOn(d.CmdOK);
    });
    EXPECT_EQ(Texts(v), (std::vector<std::u16string>{u"1", offered[2][0], offered[2][1]}));
}

TEST_F(PickerDialog, EscCancelAndTheCloseBoxGiveUp) {
    const std::vector<std::u16string> nothing{u"0", u"", u""};
    EXPECT_EQ(Texts(Pick(kAll, [](FrmPicker& d) { d.PressKey(key::kEsc); })), nothing);
    EXPECT_EQ(Texts(Pick(kAll, [](FrmPicker& d) { d.ClickOn(d.CmdCancel); })), nothing);
    // Enter on the focused Cancel button presses it rather than choosing the current row.
    EXPECT_EQ(Texts(Pick(kAll,
                         [](FrmPicker& d) {
                             d.Tab();
                             d.Tab();
                             ASSERT_EQ(d.Focused(), &d.CmdCancel);
                             d.PressKey(key::kEnter);
                         })),
              nothing);
    EXPECT_EQ(Texts(Pick(kAll, nullptr)), nothing);  // closed with the close box
    EXPECT_EQ(host.shown.size(), 4u);
}

TEST_F(PickerDialog, ASingleRowIsChosenAndNoRowsAreGivenUpWithoutAsking) {
    PickValue one =
        Pick(u"select id as 编号,name as 名称 from glsx where id='B' and fid=1006", nullptr);
    EXPECT_EQ(Texts(one), (std::vector<std::u16string>{u"1", u"B", u"金额"}));
    PickValue none =
        Pick(u"select id as 编号,name as 名称 from glsx where id='K' and fid=1006", nullptr);
    EXPECT_EQ(Texts(none), (std::vector<std::u16string>{u"0", u"", u""}));
    EXPECT_TRUE(host.shown.empty());
}

TEST_F(PickerDialog, FailuresReachTheCallerAndTheWindowIsNeverShown) {
    DialogRecordPicker picker;
    picker.SetConnString(store->ConnString());
    picker.SetSql(u"select id from glsx");  // no second column to hand back
    EXPECT_THROW(picker.Show(), DbError);
    picker.SetSql(u"select nothing from nowhere");
    EXPECT_THROW(picker.Show(), DbError);
    EXPECT_TRUE(host.shown.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(PickerDialog, TheCategoryLookupFillsBothFieldsFromTheDialog) {
    SetRecordPickerFactory([] { return std::make_unique<DialogRecordPicker>(); });
    auto w = OpenEditor(true);
    w->Type(u"R");
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    ASSERT_EQ(w->Focused(), &w->txtClassId);
    std::u16string id, name;
    host.scripts.push_back([&](Window& d) {
        d.PressKey(key::kDown);
        auto& grid = static_cast<FrmPicker&>(d).vsfList;
        id = grid.TextMatrix(2, 1);
        name = grid.TextMatrix(2, 2);
        d.PressKey(key::kEnter);
    });
    w->PressKey(key::kEnter);
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(w->txtClassId.Text(), id);
    EXPECT_EQ(w->txtClassName.Text(), name);
    EXPECT_EQ(w->Focused(), &w->txtEndWs);

    // Giving up leaves the fields as they were; the focus still moves on.
    w->PressKey(key::kUp);
    w->txtClassId.SetText(u"");
    host.scripts.push_back([](Window& d) { d.PressKey(key::kEsc); });
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->txtClassName.Text(), name);
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
