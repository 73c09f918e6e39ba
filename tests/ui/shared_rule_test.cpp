// Two managers at one rule: the editor's save and level deletion and the browser's rule deletion
// write nothing over a change made elsewhere since the window showed the rule, and a save that
// cannot get the rule's lock says so.
#include <thread>

#include "store/db_helpers.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "ui/cls_use.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

constexpr char16_t kChangedElsewhere[] =
    u"规则编号为[R4]的规则已被别处修改,本次未作任何更改,现显示其最新内容。";

class SharedRule : public UiOnTargets {
  protected:
    // The other manager, at another till: a thread of its own, with its own connection and boxes,
    // who answers Yes and meets nothing else.
    void AsOtherManager(const std::function<void(FrmDefine&)>& act) {
        std::thread other([&] {
            RecordingBoxes own;
            own.answers = {mb::kYes, mb::kYes};
            Module().ConnString = store->ConnString();
            auto w = OpenEditor(false, u"R4");
            act(*w);
            for (const auto& b : own.boxes)
                EXPECT_EQ(b.buttons & 7, mb::kYesNo) << ToUtf8(b.prompt);
            w.reset();
            CloseConnection();
        });
        other.join();
    }
};

// An editor's change in two steps: what the manager does before the other one acts, and after.
// Or a statement another program runs (`elsewhere`).
struct Action {
    const char* what;
    std::function<void(FrmDefine&)> prepare, finish;
    std::u16string elsewhere{};
};

Action Elsewhere(const char* what, const char16_t* sql) {
    return {what, {}, {}, sql};
}

Action Amend(int js, const char16_t* end) {
    return {"amend",
            [js](FrmDefine& w) {
                w.vsfGrid.SetRow(UiOnTargets::RowOfLevel(w.vsfGrid, js));
                w.PressKey(key::kF3);
            },
            [end](FrmDefine& w) {
                w.txtEndWs.SetText(end);
                w.ClickOn(w.CmdSave);
            }};
}
Action Append() {
    return {"append", [](FrmDefine&) {},
            [](FrmDefine& w) {
                w.txtClassId.SetText(u"A");
                w.txtEndWs.SetText(ToU16(static_cast<long long>(w.txtStartWs.Value()) + 1));
                w.ClickOn(w.CmdSave);
            }};
}
// The loaded level amended under a new rule id: the whole rule moves to it.
Action Rename(int js) {
    return {"rename",
            [js](FrmDefine& w) {
                w.vsfGrid.SetRow(UiOnTargets::RowOfLevel(w.vsfGrid, js));
                w.PressKey(key::kF3);
            },
            [](FrmDefine& w) {
                w.TxtGZID.SetText(u"R5");
                w.ClickOn(w.CmdSave);
            }};
}
Action Delete(int js) {
    return {"delete",
            [js](FrmDefine& w) { w.vsfGrid.SetRow(UiOnTargets::RowOfLevel(w.vsfGrid, js)); },
            [js](FrmDefine& w) {
                w.vsfGrid.SetRow(UiOnTargets::RowOfLevel(w.vsfGrid, js));
                w.PressKey(key::kDelete);
            }};
}

TEST_P(SharedRule, TheSecondEditorsChangeIsRefusedAndTheStoredRuleIsTheFirsts) {
    const std::pair<Action, Action> cases[] = {
        {Amend(2, u"10"), Amend(3, u"13")},
        {Append(), Append()},
        {Delete(2), Delete(3)},
        {Amend(2, u"7"), Delete(3)},
        // A deletion outside amend mode after the other manager widened a level before it.
        {Amend(2, u"10"), Delete(3)},
        {Delete(2), Append()},
        {Append(), Amend(4, u"20")},
        {Elsewhere("the in-store code alone", u"update txm_gzzb set dnmid='99' where gzid='R4'"),
         Append()},
        {Append(), Rename(2)},
    };
    for (const auto& [first, second] : cases) {
        SCOPED_TRACE(std::string(first.what) + " then " + second.what);
        Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        SeedR4();
        auto w = OpenEditor(false, u"R4");
        second.prepare(*w);
        if (!first.elsewhere.empty()) {
            Exec({first.elsewhere});
        } else {
            AsOtherManager([&](FrmDefine& other) {
                first.prepare(other);
                first.finish(other);
            });
        }
        const std::u16string stored = Dump();
        boxes.boxes.clear();
        boxes.answers = {mb::kYes};
        second.finish(*w);
        EXPECT_EQ(Dump(), stored);
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().prompt, kChangedElsewhere);
        EXPECT_EQ(boxes.boxes.back().buttons, mb::kExclamation);
        EXPECT_EQ(boxes.boxes.back().title, u"系统提示");
        // The window shows the rule as stored; the same change now goes through.
        std::vector<int> levels;
        for (const auto& l : Levels(u"R4")) levels.push_back(l.js);
        EXPECT_EQ(GridLevels(w->vsfGrid), levels);
        boxes.boxes.clear();
        boxes.answers = {mb::kYes};
        second.prepare(*w);
        second.finish(*w);
        for (const auto& b : boxes.boxes) EXPECT_EQ(b.buttons & 7, mb::kYesNo) << ToUtf8(b.prompt);
        EXPECT_NE(Dump(), stored);
    }
}

TEST_P(SharedRule, ASaveThatCannotGetTheRulesLockSaysSoAndWritesNothing) {
    SeedR4();
    Module().CommandTimeout = 1;
    auto w = OpenEditor(false, u"R4");
    Connection other;
    other.Open(store->ConnString());
    BeginRuleChange(other, {u"r4"});
    const std::u16string before = Dump();
    Append().finish(*w);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::u16string& said = boxes.boxes[0].prompt;
    EXPECT_TRUE(said.starts_with(u"Rule R4 is being changed elsewhere")) << ToUtf8(said);
    EXPECT_TRUE(said.ends_with(u"\n保存失败！") && boxes.boxes[0].title == u"错误:");
    EXPECT_EQ(Dump(), before);
    other.RollbackTrans();
    w->ClickOn(w->CmdSave);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Levels(u"R4").size(), 5u);
}

TEST_P(SharedRule, TheBrowserDeletesNoRuleChangedSinceItShowedIt) {
    SeedR4();
    std::u16string changed;
    host.scripts.push_back([&](Window& w) {
        auto& browser = static_cast<FrmTXM&>(w);
        AsOtherManager([](FrmDefine& other) {
            Amend(2, u"10").prepare(other);
            Amend(2, u"10").finish(other);
        });
        changed = Dump();
        boxes.answers = {mb::kYes, mb::kYes};
        w.PressKey(key::kDelete);
        EXPECT_EQ(Dump(), changed);
        EXPECT_EQ(browser.LstGz.Text(), u"R4|四级");
        EXPECT_EQ(GridLevels(browser.vsfGrid), (std::vector<int>{1, 2, 3, 4}));
        w.PressKey(key::kDelete);  // seen now: deleted
    });
    ClsUse use;
    use.ConnString(store->ConnString());
    use.Show();
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[1].prompt, kChangedElsewhere);
    EXPECT_TRUE(Header(u"R4").empty());
    EXPECT_TRUE(Levels(u"R4").empty());
}

// A rule whose stored version could not be read when the editor showed it, deleted since: the
// save writes nothing (it would bring the rule back with one level), and says why.
TEST_P(SharedRule, ASaveOfARuleShownWithoutItsVersionAndDeletedSinceIsRefused) {
    SeedR4();
    std::unique_ptr<FrmDefine> w;
    {
        Connection::SetStatementHook([](const std::u16string& sql) {
            if (sql.starts_with(u"select gzid,gzname,dnmid,txmzws from txm_gzzb")) {
                throw DbError(err::kProviderError, kInjected);
            }
        });
        w = OpenEditor(false, u"R4");
        Connection::SetStatementHook(nullptr);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);  // the failed read, said when the editor opened
    Exec({u"delete from txm_gzmx where gzid='R4'", u"delete from txm_gzzb where gzid='R4'"});
    boxes.boxes.clear();
    Append().finish(*w);
    EXPECT_TRUE(Header(u"R4").empty());
    EXPECT_TRUE(Levels(u"R4").empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, kChangedElsewhere);
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedRule, ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

}  // namespace
