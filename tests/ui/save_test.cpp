// Saving in the editor: new rules and levels by keyboard, amending with the shift of later
// levels, the checks, and what the window shows after each save.
#include "store/module_state.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

using Levels_ = std::vector<LevelRow>;

// Picks the row whose id is the given one.
std::function<std::optional<size_t>(const ScriptedPicker::Call&)> PickId(std::u16string id) {
    return [id](const ScriptedPicker::Call& c) -> std::optional<size_t> {
        for (size_t i = 0; i < c.rows.size(); ++i) {
            if (c.rows[i][0] == id) return i;
        }
        return std::nullopt;
    };
}

class SaveOnTargets : public UiOnTargets {};

TEST_P(SaveOnTargets, DefineARuleWithSeveralLevelsByKeyboardOnly) {
    auto w = OpenEditor(true);
    w->Type(u"r9");
    w->PressKey(key::kEnter);
    w->Type(u"称重");
    w->PressKey(key::kEnter);
    w->Type(u"28");
    w->PressKey(key::kEnter);
    ASSERT_EQ(w->Focused(), &w->txtClassId);

    // Level 1: the category from the full list, positions 1 to 4.
    picker.choose = PickId(u"A");
    w->PressKey(key::kEnter);
    ASSERT_EQ(picker.calls.size(), 1u);
    EXPECT_EQ(picker.calls[0].rows.size(), 4u);  // every segment category, nothing else
    EXPECT_EQ(w->Focused(), &w->txtEndWs);
    Retype(*w, w->txtEndWs, u"4");
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    ASSERT_EQ(w->Focused(), &w->CmdSave);
    w->PressKey(key::kEnter);
    EXPECT_EQ(Header(u"r9"), (std::vector<std::u16string>{u"r9", u"称重", u"28", u"4"}));
    EXPECT_EQ(Levels(u"r9"), (Levels_{{u"r9", 1, u"A", 1, 4, 0}}));
    EXPECT_EQ(w->LblLBName.Caption(), u"第 2 级");
    EXPECT_EQ(w->txtStartWs.Text(), u"5");
    EXPECT_EQ(w->txtEndWs.Text(), u"6");
    EXPECT_EQ(w->txtTxmWS.Text(), u"4");
    EXPECT_EQ(w->txtXsWs.Text(), u"");
    EXPECT_EQ(w->txtClassId.Text(), u"");
    EXPECT_EQ(w->Focused(), &w->txtClassId);
    EXPECT_EQ(GridLevels(w->vsfGrid), (std::vector<int>{1}));
    EXPECT_FALSE(w->NewRuleMode);
    EXPECT_FALSE(w->TxtGZID.Enabled());  // the rule has levels: its id is fixed

    // Level 2: a typed category id, looked up alone; ends at 10 with two decimals.
    picker.choose = PickId(u"B");
    w->Type(u"b");
    w->PressKey(key::kEnter);
    ASSERT_EQ(picker.calls.size(), 2u);
    EXPECT_EQ(picker.calls[1].rows.size(), 1u);
    EXPECT_EQ(w->txtClassName.Text(), u"金额");
    Retype(*w, w->txtEndWs, u"10");
    w->PressKey(key::kDown);
    w->Type(u"2");
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->LblLBName.Caption(), u"第 3 级");
    EXPECT_EQ(w->txtStartWs.Text(), u"11");
    EXPECT_EQ(w->txtEndWs.Text(), u"12");
    EXPECT_EQ(w->txtTxmWS.Text(), u"10");

    // Level 3 is one digit wide: start and end equal.
    picker.choose = PickId(u"W");
    w->PressKey(key::kEnter);
    Retype(*w, w->txtEndWs, u"11");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(Levels(u"r9"), (Levels_{{u"r9", 1, u"A", 1, 4, 0},
                                      {u"r9", 2, u"B", 5, 10, 2},
                                      {u"r9", 3, u"W", 11, 11, 0}}));
    EXPECT_EQ(Header(u"r9")[3], u"11");
    EXPECT_EQ(w->LblLBName.Caption(), u"第 4 级");
    EXPECT_EQ(w->txtStartWs.Text(), u"12");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_P(SaveOnTargets, AmendingALoadedLevelRewritesItTheHeaderAndTheLevelsBehindIt) {
    const Levels_ r4{{u"R4", 1, u"A", 1, 4, 0},
                     {u"R4", 2, u"B", 5, 8, 2},
                     {u"R4", 3, u"W", 9, 12, 3},
                     {u"R4", 4, u"P", 13, 14, 0}};
    auto with = [&](std::vector<std::pair<size_t, LevelRow>> changed) {
        Levels_ out = r4;
        for (auto& [i, row] : changed) out[i] = row;
        return out;
    };
    struct Case {
        const char* what;
        const char16_t* storedEnd;  // of level 4 before the load; nullptr keeps 14
        int js;
        const char16_t* category;  // typed and looked up; nullptr keeps the loaded one
        const char16_t* end;
        const char16_t* places;
        Levels_ levels;
        int total;
    };
    const Case cases[] = {
        {"a longer level moves the later ones out", nullptr, 2, nullptr, u"10", u"1",
         with({{1, {u"R4", 2, u"B", 5, 10, 1}},
               {2, {u"R4", 3, u"W", 11, 14, 3}},
               {3, {u"R4", 4, u"P", 15, 16, 0}}}),
         16},
        {"a shorter level moves them in", nullptr, 2, nullptr, u"7", u"2",
         with({{1, {u"R4", 2, u"B", 5, 7, 2}},
               {2, {u"R4", 3, u"W", 8, 11, 3}},
               {3, {u"R4", 4, u"P", 12, 13, 0}}}),
         13},
        {"the last level moves nothing else", nullptr, 4, nullptr, u"20", u"0",
         with({{3, {u"R4", 4, u"P", 13, 20, 0}}}), 20},
        {"the same end with another category", nullptr, 3, u"P", u"12", u"1",
         with({{2, {u"R4", 3, u"P", 9, 12, 1}}}), 14},
        {"a stored end of Null", u"null", 4, nullptr, u"16", u"0",
         with({{3, {u"R4", 4, u"P", 13, 16, 0}}}), 16},
        {"a stored end of 0", u"0", 4, nullptr, u"16", u"0",
         with({{3, {u"R4", 4, u"P", 13, 16, 0}}}), 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        SeedR4();
        if (c.storedEnd) {
            Exec({u"update txm_gzmx set endws=" + std::u16string(c.storedEnd) + u" where js=4"});
        }
        auto w = OpenEditor(false, u"R4");
        w->TxtGZName.SetText(u"改名");
        w->txtDnmid.SetText(u"29");
        w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, c.js));
        w->PressKey(key::kF3);
        if (c.category) {
            w->PressKey(key::kUp);  // back to the category id, its text selected
            w->Type(c.category);
            picker.choose = [](const auto&) { return std::optional<size_t>(0); };
            w->PressKey(key::kEnter);
        }
        Retype(*w, w->txtEndWs, c.end);
        Retype(*w, w->txtXsWs, c.places);
        w->ClickOn(w->CmdSave);
        EXPECT_EQ(Levels(u"R4"), c.levels);
        EXPECT_EQ(Header(u"R4"),
                  (std::vector<std::u16string>{u"R4", u"改名", u"29", ToU16(c.total)}));
        // Only the amended level's remark is rewritten (to empty).
        auto amended = Query(u"select js from txm_gzmx where bz='' or bz is null")->rows;
        ASSERT_EQ(amended.size(), 1u);
        EXPECT_EQ(amended[0][0].ToInt32(), c.js);
        EXPECT_EQ(w->txtTxmWS.Text(), ToU16(c.total));
        EXPECT_EQ(w->LblLBName.Caption(), u"第 5 级");
        EXPECT_EQ(w->txtStartWs.Text(), ToU16(c.total + 1));
        EXPECT_FALSE(w->LevelAmendMode);
        EXPECT_EQ(w->CurGzid, u"");
        EXPECT_EQ(w->CurJs, 0);
        EXPECT_EQ(w->OldEndWs, 0);
        EXPECT_EQ(w->LastJs, 4);
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_P(SaveOnTargets, QuotesInEveryTextAreStoredAsTyped) {
    Exec({u"insert into glsx (id,name,fid) values ('Q''1','引''号',1006)"});
    auto w = OpenEditor(true);
    w->Type(u"O'Brien");
    w->PressKey(key::kEnter);
    w->Type(u"it's");
    w->PressKey(key::kEnter);
    w->Type(u"2'");
    w->PressKey(key::kEnter);
    w->Type(u"q'1");
    picker.choose = [](const auto&) { return std::optional<size_t>(0); };
    w->PressKey(key::kEnter);
    EXPECT_EQ(w->txtClassName.Text(), u"引'号");
    Retype(*w, w->txtEndWs, u"3");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(Header(u"O'Brien"), (std::vector<std::u16string>{u"O'Brien", u"it's", u"2'", u"3"}));
    EXPECT_EQ(Levels(u"O'Brien"), (Levels_{{u"O'Brien", 1, u"Q'1", 1, 3, 0}}));
    // Amend it and delete it again, all through the same quoting.
    w->PressKey(key::kF3);
    Retype(*w, w->txtEndWs, u"5");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(Levels(u"O'Brien"), (Levels_{{u"O'Brien", 1, u"Q'1", 1, 5, 0}}));
    boxes.answers = {mb::kYes};
    w->PressKey(key::kDelete);
    EXPECT_TRUE(Levels(u"O'Brien").empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"您确认要删除代表名称为[引'号]的数据吗？[Y/N]");
}

INSTANTIATE_TEST_SUITE_P(Stores, SaveOnTargets, ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

class Save : public UiScenario {};

TEST_F(Save, ChecksStopTheSaveWithTheirMessageAndFocus) {
    SeedR4();
    auto w = OpenEditor(true);
    const std::u16string before = Dump();
    {
        StatementTrap trap;
        w->ClickOn(w->CmdSave);  // empty rule id: not even a query
        EXPECT_EQ(trap.count, 0);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"规则编号不能为空！");
    EXPECT_EQ(boxes.boxes[0].buttons, mb::kExclamation);
    EXPECT_EQ(boxes.boxes[0].title, u"系统提示");
    EXPECT_EQ(w->Focused(), &w->TxtGZID);

    w->Type(u" ");  // a blank is content: this check passes, the next one stops it
    w->txtStartWs.SetText(u"6");
    w->txtEndWs.SetText(u"5");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(boxes.boxes.back().prompt, u"结束位数必须大于开始位数！");
    EXPECT_EQ(w->Focused(), &w->txtEndWs);

    w->TxtGZID.SetText(u"r4");
    w->txtStartWs.SetText(u"5");
    w->txtEndWs.SetText(u"5");
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(boxes.boxes.back().prompt, u"您已经定义过此规则了,请重新输入一个规则编码!");
    EXPECT_EQ(boxes.boxes.back().title, u"系统提示");
    EXPECT_EQ(w->Focused(), &w->TxtGZID);
    EXPECT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(Dump(), before);
    EXPECT_TRUE(w->NewRuleMode);
}

TEST_F(Save, AmendModeAppendsWithoutTouchingTheStoredHeader) {
    SeedR4();
    auto w = OpenEditor(false, u"R4");
    w->Type(u"改名");
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    w->Type(u"A");
    picker.choose = [](const auto&) { return std::optional<size_t>(0); };
    w->PressKey(key::kEnter);
    Retype(*w, w->txtEndWs, u"16");
    w->ClickOn(w->CmdSave);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Header(u"R4"), (std::vector<std::u16string>{u"R4", u"四级", u"21", u"16"}));
    EXPECT_EQ(Levels(u"R4").back(), (LevelRow{u"R4", 5, u"A", 15, 16, 0}));
}

TEST_F(Save, NoSaveMovesPartOfARuleToAnotherId) {
    auto d = OpenEditor(true);
    d->Type(u"NEW");
    d->txtClassId.SetText(u"B");
    Retype(*d, d->txtEndWs, u"2");
    d->ClickOn(d->CmdSave);
    d->txtClassId.SetText(u"A");
    d->ClickOn(d->CmdSave);
    ASSERT_EQ(Levels(u"NEW").size(), 2u);
    EXPECT_FALSE(d->TxtGZID.Enabled());
    // Whatever the id field says when a level is loaded, the level's own rule is amended.
    d->TxtGZID.SetText(u"X");
    d->vsfGrid.SetRow(RowOfLevel(d->vsfGrid, 1));
    d->PressKey(key::kF3);
    EXPECT_EQ(d->TxtGZID.Text(), u"NEW");
    Retype(*d, d->txtEndWs, u"3");
    d->ClickOn(d->CmdSave);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Levels(u"NEW"), (Levels_{{u"NEW", 1, u"B", 1, 3, 0}, {u"NEW", 2, u"A", 4, 5, 0}}));
    EXPECT_EQ(Header(u"NEW")[3], u"5");
    EXPECT_TRUE(Header(u"X").empty());
    EXPECT_TRUE(Levels(u"X").empty());
}

TEST_F(Save, AFailedSaveRollsAllBackAndTheWindowShowsTheStore) {
    // The update right after the shift of later levels, and the queries that refresh the window
    // inside the transaction: when one fails, the save is rolled back and the window keeps
    // showing what the store holds, with the level still loaded for the next try.
    struct Case {
        const char16_t* failing;
        bool amend;
    };
    for (const Case& c : {Case{u",bz=''", true}, Case{u"select max(endws) as Maxws", true},
                          Case{u"select max(endws) as Maxws", false}, Case{u"AS 规则编号", true},
                          Case{u"AS 规则编号", false}}) {
        SCOPED_TRACE(ToUtf8(c.failing) + (c.amend ? " amend" : " append"));
        Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        SeedR4();
        boxes.boxes.clear();
        auto w = OpenEditor(false, u"R4");
        if (c.amend) {
            w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
            w->PressKey(key::kF3);
        } else {
            w->txtClassId.SetText(u"A");
        }
        const std::u16string end = c.amend ? u"10" : u"16";
        Retype(*w, w->txtEndWs, end);
        const std::u16string before = Dump();
        const std::u16string caption = w->LblLBName.Caption();
        const std::u16string start = w->txtStartWs.Text();
        {
            StatementTrap guard;  // clears the hook below when the block ends
            Connection::SetStatementHook([&](const std::u16string& sql) {
                if (sql.find(c.failing) != std::u16string::npos)
                    throw DbError(err::kProviderError, kInjected);
            });
            w->ClickOn(w->CmdSave);
        }
        EXPECT_EQ(Dump(), before);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].prompt, std::u16string(kInjected) + u"\n保存失败！");
        EXPECT_EQ(boxes.boxes[0].buttons, mb::kCritical);
        EXPECT_EQ(boxes.boxes[0].title, u"错误:");
        EXPECT_EQ(Module().DbRs, nullptr);
        EXPECT_EQ(w->LblLBName.Caption(), caption);
        EXPECT_EQ(w->txtStartWs.Text(), start);
        EXPECT_EQ(w->txtEndWs.Text(), end);
        EXPECT_EQ(w->txtTxmWS.Text(), u"14");
        EXPECT_EQ(GridLevels(w->vsfGrid), (std::vector<int>{1, 2, 3, 4}));
        EXPECT_EQ(w->LevelAmendMode, c.amend);
        EXPECT_EQ(w->CurJs, c.amend ? 2 : 0);
        EXPECT_EQ(w->OldEndWs, c.amend ? 8 : 0);
        EXPECT_EQ(w->LastJs, 0);
        if (!c.amend) continue;
        w->ClickOn(w->CmdSave);  // the next click amends it again
        EXPECT_EQ(Levels(u"R4")[2], (LevelRow{u"R4", 3, u"W", 11, 14, 3}));
    }
}

TEST_F(Save, SixteenBitOverflowAndUnreadableEndFailTheSave) {
    Exec(
        {u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('BIG','b','',32767)",
         u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('BIG',1,'A',1,32767,0)"});
    auto w = OpenEditor(false, u"BIG");
    EXPECT_EQ(w->txtStartWs.Text(), u"32768");  // the load counts wide, as the host does
    const std::u16string before = Dump();
    w->txtClassId.SetText(u"B");
    w->txtEndWs.SetText(u"32769");
    w->ClickOn(w->CmdSave);  // the new end does not fit in 16 bits
    EXPECT_EQ(Dump(), before);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"Overflow\n保存失败！");

    w->PressKey(key::kF3);
    w->txtStartWs.SetText(u"0");
    w->txtEndWs.SetText(u"");  // the amend path needs the end as an integer
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(boxes.boxes.back().prompt, u"Type mismatch\n保存失败！");
    EXPECT_EQ(Dump(), before);
}

}  // namespace
