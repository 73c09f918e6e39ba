// The Delete key in the editor: the level goes, the later ones close the gap, in one transaction.
#include "store/module_state.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

using Levels_ = std::vector<LevelRow>;

class DeleteLevelOnTargets : public UiOnTargets {};

TEST_P(DeleteLevelOnTargets, DeletingAMiddleLevelMovesTheLaterOnesBack) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"您确认要删除代表名称为[金额]的数据吗？[Y/N]");
    EXPECT_EQ(boxes.boxes[0].buttons, mb::kYesNo + mb::kQuestion);  // Yes is the default
    EXPECT_EQ(Levels(u"R4"), (Levels_{{u"R4", 1, u"A", 1, 4, 0},
                                      {u"R4", 3, u"W", 5, 8, 3},
                                      {u"R4", 4, u"P", 9, 10, 0}}));
    EXPECT_EQ(GridLevels(w->vsfGrid), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(w->LblLBName.Caption(), u"第 5 级");
    EXPECT_EQ(w->txtStartWs.Text(), u"11");
    EXPECT_EQ(w->txtTxmWS.Text(), u"14");  // not recomputed by a deletion
    EXPECT_EQ(Header(u"R4")[3], u"14");
    EXPECT_FALSE(w->TxtGZID.Enabled());

    // The next level gets the highest number plus one, and the save puts the total right.
    w->txtClassId.SetText(u"A");
    w->txtEndWs.SetText(u"12");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(Levels(u"R4").back(), (LevelRow{u"R4", 5, u"A", 11, 12, 0}));
    EXPECT_EQ(w->LblLBName.Caption(), u"第 6 级");
    EXPECT_EQ(Header(u"R4")[3], u"12");
}

INSTANTIATE_TEST_SUITE_P(Stores, DeleteLevelOnTargets,
                         ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

class DeleteLevel : public UiScenario {};

TEST_F(DeleteLevel, TheLastAndTheOnlyLevel) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 4));
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_EQ(Levels(u"R4"), (Levels_{{u"R4", 1, u"A", 1, 4, 0},
                                      {u"R4", 2, u"B", 5, 8, 2},
                                      {u"R4", 3, u"W", 9, 12, 3}}));
    EXPECT_EQ(w->txtStartWs.Text(), u"13");
    EXPECT_EQ(w->LblLBName.Caption(), u"第 4 级");

    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('ONE','o','',3)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('ONE',1,'A',1,3,0)"});
    auto one = OpenEditor(false, u"ONE");
    boxes.answers = {mb::kYes};
    one->PressKey(key::kDelete);
    EXPECT_TRUE(Levels(u"ONE").empty());
    EXPECT_EQ(Header(u"ONE"), (std::vector<std::u16string>{u"ONE", u"o", u"", u"3"}));
    EXPECT_EQ(one->vsfGrid.Rows(), 1);
    EXPECT_EQ(one->LblLBName.Caption(), u"第 1 级");
    EXPECT_EQ(one->txtStartWs.Text(), u"1");
}

TEST_F(DeleteLevel, AnsweringNoOrAnEmptyGridChangesNothing) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    const std::u16string before = Dump();
    boxes.answers = {mb::kNo};
    w->PressKey(key::kDelete);
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(w->vsfGrid.Rows(), 5);
    EXPECT_EQ(w->LblLBName.Caption(), u"第 5 级");

    auto empty = OpenEditor(true);
    empty->PressKey(key::kDelete);
    EXPECT_EQ(boxes.boxes.size(), 1u);  // only the first question
}

TEST_F(DeleteLevel, LaterLevelsMoveBackByTheWidthEvenAcrossAGap) {
    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('G','g','',22)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('G',1,'A',1,4,0)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('G',2,'B',5,8,0)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('G',3,'W',20,22,0)"});
    auto w = OpenEditor(false, u"G");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_EQ(Levels(u"G"), (Levels_{{u"G", 1, u"A", 1, 4, 0}, {u"G", 3, u"W", 16, 18, 0}}));
}

TEST_F(DeleteLevel, OnlyDeletingTheLoadedLevelEndsTheAmendState) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    w->PressKey(key::kF3);
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 1));
    boxes.answers = {mb::kYes, mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_TRUE(w->LevelAmendMode);
    EXPECT_EQ(w->CurJs, 2);
    EXPECT_EQ(w->txtClassId.Text(), u"B");

    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    w->PressKey(key::kDelete);
    EXPECT_FALSE(w->LevelAmendMode);
    EXPECT_EQ(w->CurGzid, u"");
    EXPECT_EQ(w->CurJs, 0);
    EXPECT_EQ(w->OldEndWs, 0);
    for (TextBox* box : std::initializer_list<TextBox*>{&w->txtClassId, &w->txtClassName,
                                                        &w->txtEndWs, &w->txtXsWs}) {
        EXPECT_EQ(box->Text(), u"") << ToUtf8(box->Name());
    }
    // The next save stores a new level instead of "amending" the row that is gone.
    w->txtClassId.SetText(u"B");
    w->txtEndWs.SetText(u"8");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(
        Levels(u"R4"),
        (Levels_{{u"R4", 3, u"W", 1, 4, 3}, {u"R4", 4, u"P", 5, 6, 0}, {u"R4", 5, u"B", 7, 8, 0}}));
}

TEST_F(DeleteLevel, DeletingAnotherLevelRereadsTheLoadedOneAtItsNewPlace) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 3));
    w->PressKey(key::kF3);
    w->PressKey(key::kF4);  // Delete is the grid's key: in a text field it also erases
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 1));
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_TRUE(w->LevelAmendMode);
    EXPECT_EQ(w->CurJs, 3);
    EXPECT_EQ(w->OldEndWs, 8);
    EXPECT_EQ(w->LblLBName.Caption(), u"第 3 级");
    EXPECT_EQ(w->txtClassId.Text(), u"W");
    EXPECT_EQ(w->txtStartWs.Text(), u"5");
    EXPECT_EQ(w->txtEndWs.Text(), u"8");

    // A save right away stores what the window shows: the rule stays in order.
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(Levels(u"R4"), (Levels_{{u"R4", 2, u"B", 1, 4, 2},
                                      {u"R4", 3, u"W", 5, 8, 3},
                                      {u"R4", 4, u"P", 9, 10, 0}}));
    EXPECT_EQ(Header(u"R4")[3], u"10");
    EXPECT_EQ(boxes.boxes.size(), 1u);  // the question only
}

TEST_F(DeleteLevel, AFailedMoveStopsTheDeletion) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    const std::u16string before = Dump();
    boxes.answers = {mb::kYes};
    {
        StatementTrap guard;
        Connection::SetStatementHook([](const std::u16string& sql) {
            if (sql.find(u"startws=startws - ") != std::u16string::npos) {
                throw DbError(err::kProviderError, kInjected);
            }
        });
        w->PressKey(key::kDelete);
    }
    EXPECT_EQ(Dump(), before);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].prompt, std::u16string(kInjected) + u"\n位数排序时出错!");
    EXPECT_EQ(boxes.boxes[1].buttons, mb::kExclamation);
    EXPECT_EQ(GridLevels(w->vsfGrid), (std::vector<int>{1, 2, 3, 4}));  // not reloaded

    // A rejected delete statement takes the move back with it.
    boxes.answers = {mb::kYes};
    {
        StatementTrap guard;
        Connection::SetStatementHook([](const std::u16string& sql) {
            if (sql.rfind(u"DELETE TXM_GZMX", 0) == 0)
                throw DbError(err::kProviderError, kInjected);
        });
        w->PressKey(key::kDelete);
    }
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(boxes.boxes.back().prompt, std::u16string(kInjected) + u"\n删除明细时出错!");
}

}  // namespace
