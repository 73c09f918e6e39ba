// The rule editor window: its two opening modes, choosing a level, and its keyboard.
#include "store/module_state.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

class Editor : public UiScenario {};

TEST_F(Editor, DefineModeOrAnAmendWithoutIdShowsTheDesignedFieldsWithTheFocusInTheRuleId) {
    SeedR4();
    for (bool newRule : {false, true}) {
        SCOPED_TRACE(newRule ? "define" : "amend without an id");
        auto w = OpenEditor(newRule);
        EXPECT_TRUE(w->TxtGZID.Enabled());
        EXPECT_EQ(w->Focused(), &w->TxtGZID);
        EXPECT_EQ(w->LblLBName.Caption(), u"第 1 级:");
        EXPECT_EQ(w->txtStartWs.Text(), u"1");
        EXPECT_EQ(w->txtEndWs.Text(), u"0");
        EXPECT_EQ(w->txtTxmWS.Text(), u"0");
        EXPECT_EQ(w->vsfGrid.Rows(), 1);
        EXPECT_EQ(w->vsfGrid.TextMatrix(0, 3), u"代表名称");
        EXPECT_EQ(w->NewRuleMode, newRule);
        // The computed fields are never typed into: Tab passes them by.
        w->txtClassId.SetText(u"A");
        for (int i = 0; i < 12; ++i) {
            w->Tab();
            EXPECT_NE(w->Focused(), &w->txtTxmWS);
            EXPECT_NE(w->Focused(), &w->txtStartWs);
            EXPECT_NE(w->Focused(), &w->txtClassName);
        }
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Editor, AmendModeLoadsHeaderNextLevelAndGrid) {
    SeedR4();
    auto w = OpenEditor(false, u"r4");  // ids compare without regard to case
    EXPECT_EQ(w->TxtGZID.Text(), u"R4");
    EXPECT_EQ(w->TxtGZName.Text(), u"四级");
    EXPECT_EQ(w->txtDnmid.Text(), u"21");
    EXPECT_EQ(w->txtTxmWS.Text(), u"14");
    EXPECT_EQ(w->LblLBName.Caption(), u"第 5 级");
    EXPECT_EQ(w->txtStartWs.Text(), u"15");
    EXPECT_FALSE(w->TxtGZID.Enabled());
    EXPECT_EQ(w->Focused(), &w->TxtGZName);  // first enabled field in tab order
    EXPECT_EQ(GridLevels(w->vsfGrid), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(w->vsfGrid.TextMatrix(RowOfLevel(w->vsfGrid, 2), 3), u"金额");
}

TEST_F(Editor, AmendingARuleWithoutLevelsOrWithoutHeader) {
    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('E','空',null,null)"});
    auto w = OpenEditor(false, u"E");
    EXPECT_EQ(w->LblLBName.Caption(), u"第 1 级");  // without the designed colon
    EXPECT_EQ(w->txtStartWs.Text(), u"1");
    EXPECT_EQ(w->txtDnmid.Text(), u"");  // a Null header column shows empty
    EXPECT_EQ(w->txtTxmWS.Text(), u"");
    EXPECT_EQ(w->vsfGrid.Rows(), 1);
    const std::u16string before = Dump();
    w->PressKey(key::kF3);
    w->DoubleClickOn(w->vsfGrid);
    w->PressKey(key::kDelete);
    EXPECT_FALSE(w->LevelAmendMode);
    EXPECT_EQ(Dump(), before);
    EXPECT_TRUE(boxes.boxes.empty());

    // Levels without a header row: no header loads, the rest comes from the levels.
    Exec({u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('NH',1,'A',1,3,0)"});
    auto h = OpenEditor(false, u"NH");
    EXPECT_EQ(h->TxtGZID.Text(), u"");
    EXPECT_EQ(h->LblLBName.Caption(), u"第 2 级");
    EXPECT_EQ(h->txtStartWs.Text(), u"4");
    EXPECT_EQ(h->vsfGrid.Rows(), 2);
}

TEST_F(Editor, ChoosingALevelLoadsItForAmending) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    w->DoubleClickOn(w->vsfGrid);
    EXPECT_EQ(w->LblLBName.Caption(), u"第 2 级");
    EXPECT_EQ(w->txtClassId.Text(), u"B");
    EXPECT_EQ(w->txtClassName.Text(), u"金额");
    EXPECT_EQ(w->txtStartWs.Text(), u"5");
    EXPECT_EQ(w->txtEndWs.Text(), u"8");
    EXPECT_EQ(w->txtXsWs.Text(), u"2");
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    EXPECT_FALSE(w->TxtGZID.Enabled());
    EXPECT_TRUE(w->LevelAmendMode);
    EXPECT_EQ(w->CurGzid, u"R4");
    EXPECT_EQ(w->CurJs, 2);
    EXPECT_EQ(w->OldEndWs, 8);

    // F3 loads the grid's current row as well; another row replaces the loaded level.
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 4));
    w->PressKey(key::kF3);
    EXPECT_EQ(w->CurJs, 4);
    EXPECT_EQ(w->txtClassName.Text(), u"单价");
}

TEST_F(Editor, ALevelDeletedMeanwhileLoadsNothing) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    Exec({u"delete from txm_gzmx where gzid='R4' and js=3"});  // another user
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 3));
    w->PressKey(key::kF3);
    EXPECT_FALSE(w->LevelAmendMode);
    EXPECT_EQ(w->CurJs, 0);
    EXPECT_EQ(w->CurGzid, u"R4");
    EXPECT_EQ(w->txtClassId.Text(), u"");
    EXPECT_EQ(w->LblLBName.Caption(), u"第 5 级");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Editor, NullPositionsOfALevelLoadAsZero) {
    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('N','n','',0)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values "
          u"('N',1,'A',null,null,null)"});
    auto w = OpenEditor(false, u"N");
    w->PressKey(key::kF3);
    EXPECT_EQ(w->txtStartWs.Text(), u"0");
    EXPECT_EQ(w->txtEndWs.Text(), u"0");
    EXPECT_EQ(w->txtXsWs.Text(), u"0");
    EXPECT_EQ(w->vsfGrid.TextMatrix(1, 6), u"0");  // the grid shows a missing xsws as 0
    EXPECT_EQ(w->vsfGrid.TextMatrix(1, 4), u"");
    EXPECT_TRUE(w->LevelAmendMode);
}

TEST_F(Editor, FieldKeysFollowTheTabOrderAndIgnoreShift) {
    auto w = OpenEditor(true);
    w->Type(u"R1");
    w->PressKey(key::kUp);  // nothing in the rule id
    EXPECT_EQ(w->Focused(), &w->TxtGZID);
    w->PressKey(key::kDown);
    EXPECT_EQ(w->Focused(), &w->TxtGZName);
    w->PressKey(key::kEnter, shift::kShift);  // Shift+Enter moves forward as Enter does
    EXPECT_EQ(w->Focused(), &w->txtDnmid);
    w->PressKey(key::kUp, shift::kShift | shift::kAlt);
    EXPECT_EQ(w->Focused(), &w->TxtGZName);
    w->PressKey(key::kEnter);
    w->PressKey(key::kDown);
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->Type(u"A");
    w->PressKey(key::kDown);  // start is disabled: straight to the end position
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    w->PressKey(key::kDown);
    EXPECT_EQ(w->Focused(), &w->txtXsWs);
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->Focused(), &w->CmdSave);
    w->PressKey(key::kDown);  // nothing on the button
    EXPECT_EQ(w->Focused(), &w->CmdSave);
    w->PressKey(key::kUp);
    EXPECT_EQ(w->Focused(), &w->txtXsWs);
    w->PressKey(key::kUp);
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    w->PressKey(key::kUp);
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    w->Tab();
    w->Tab();
    w->Tab();
    w->Tab();  // from the button the next Tab reaches the grid
    EXPECT_EQ(w->Focused(), &w->vsfGrid);
    w->Tab();  // and round to the first field
    EXPECT_EQ(w->Focused(), &w->TxtGZID);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Editor, EnteringATextFieldSelectsItsWholeText) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    EXPECT_EQ(w->TxtGZName.SelText(), u"四级");
    w->Type(u"新");  // typing replaces the selected text
    EXPECT_EQ(w->TxtGZName.Text(), u"新");
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->txtDnmid.SelText(), u"21");
}

TEST_F(Editor, F4FocusesTheGridWhereArrowsMoveBetweenLevels) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->PressKey(key::kF4);
    EXPECT_EQ(w->Focused(), &w->vsfGrid);
    const int32_t first = w->vsfGrid.Row();
    w->PressKey(key::kDown);
    EXPECT_EQ(w->vsfGrid.Row(), first + 1);
    w->PressKey(key::kF3);
    EXPECT_EQ(w->CurJs, FieldValue::Text(w->vsfGrid.TextMatrix(first + 1, 2)).ToInt16());
    w->PressKey(key::kF4);
    w->vsfGrid.SetRow(4);
    w->PressKey(key::kDown);  // the last row stays current
    EXPECT_EQ(w->vsfGrid.Row(), 4);
}

TEST_F(Editor, EscInAnyFieldClosesWithoutSaving) {
    SeedR4();
    const std::u16string before = Dump();
    for (int field = 0; field < 4; ++field) {
        auto w = OpenEditor(false, u"R4");
        w->PressKey(key::kF3);
        for (int i = 0; i < field; ++i) w->Tab();
        w->Type(u"9");
        w->PressKey(key::kEsc, shift::kShift);
        EXPECT_FALSE(w->IsOpen());
        EXPECT_TRUE(w->Released());
    }
    EXPECT_EQ(Dump(), before);
}

TEST_F(Editor, DeleteWhileTypingStartsTheLevelDeletionAndStillErases) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->TxtGZName.SetText(u"abc");
    w->PressKey(key::kHome);
    boxes.answers = {mb::kNo};
    w->PressKey(key::kDelete);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, u"系统提示");
    EXPECT_EQ(boxes.boxes[0].buttons, mb::kYesNo + mb::kQuestion);
    EXPECT_EQ(w->TxtGZName.Text(), u"bc");  // the field received the key afterwards
    EXPECT_EQ(Levels(u"R4").size(), 4u);
}

TEST_F(Editor, ADeletionThatLocksTheRuleIdDoesNotEraseFromIt) {
    auto w = OpenEditor(true);
    w->Type(u"R1");
    w->txtClassId.SetText(u"A");
    w->txtEndWs.SetText(u"2");
    w->ClickOn(w->CmdSave);
    w->ClickOn(w->TxtGZID);  // still enabled after the save in define mode
    w->PressKey(key::kHome);
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_TRUE(Levels(u"R1").empty());
    EXPECT_FALSE(w->TxtGZID.Enabled());
    EXPECT_EQ(w->TxtGZID.Text(), u"R1");
}

}  // namespace
