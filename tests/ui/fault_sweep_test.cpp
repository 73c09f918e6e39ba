// Every statement of a save, a level deletion and a rule deletion is made to fail in turn.
// Up to the commit the tables must be exactly as before with the change's message shown; a
// failure after the commit may only touch the screen, never leave half a change.
#include "store/module_state.h"
#include "ui/cls_use.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

constexpr char16_t kSaveFailed[] = u"\n保存失败！";
constexpr char16_t kDeleteFailed[] = u"\n删除明细时出错!";
constexpr char16_t kShiftFailed[] = u"\n位数排序时出错!";

struct Attempt {
    std::vector<std::u16string> statements;
    bool fired = false;
};

class FaultSweep : public UiOnTargets {
  protected:
    void Reset() {
        Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        SeedR4();
    }

    // prepare brings a fresh editor to the moment before the action; act is the action.
    void SweepEditor(const std::function<void(FrmDefine&)>& prepare,
                     const std::function<void(FrmDefine&)>& act,
                     const std::vector<std::u16string>& suffixes, const std::u16string& title,
                     bool newRule, const std::u16string& rule) {
        auto once = [&](int failAt) {
            Reset();
            auto w = OpenEditor(newRule, rule);
            prepare(*w);
            boxes.boxes.clear();
            boxes.answers = {mb::kYes};
            Attempt run;
            {
                StatementTrap trap(failAt);
                act(*w);
                run.statements = trap.statements;
                run.fired = trap.fired;
            }
            return run;
        };
        Sweep(once, suffixes, title);
    }

    void Sweep(const std::function<Attempt(int)>& once, const std::vector<std::u16string>& suffixes,
               const std::u16string& title) {
        // The first run on a database may read what the database says of itself, once.
        once(0);
        const Attempt clean = once(0);
        ASSERT_TRUE(boxes.boxes.empty() || boxes.boxes.size() == 1) << "the clean run complained";
        const std::u16string after = Dump();
        size_t commitAt = 0;
        for (size_t i = 0; i < clean.statements.size(); ++i) {
            if (clean.statements[i].starts_with(u"COMMIT")) commitAt = i + 1;
        }
        ASSERT_GT(commitAt, 0u) << "the change ran no transaction";
        Reset();
        const std::u16string before = Dump();
        ASSERT_NE(before, after) << "the change changed nothing";

        for (int n = 1; n <= static_cast<int>(clean.statements.size()); ++n) {
            SCOPED_TRACE("statement " + std::to_string(n) + ": " +
                         ToUtf8(clean.statements[static_cast<size_t>(n - 1)]));
            const Attempt run = once(n);
            ASSERT_TRUE(run.fired);
            if (static_cast<size_t>(n) <= commitAt) {
                EXPECT_EQ(Dump(), before);
                bool shown = false;
                for (const auto& box : boxes.boxes) {
                    for (const auto& suffix : suffixes) {
                        if (box.prompt == std::u16string(kInjected) + suffix && box.title == title)
                            shown = true;
                    }
                }
                EXPECT_TRUE(shown) << "the change's failure message was not shown";
            } else {
                EXPECT_EQ(Dump(), after);  // committed whole; only the refresh failed
                EXPECT_FALSE(boxes.boxes.empty());
            }
        }
    }
};

TEST_P(FaultSweep, SaveOfTheFirstLevelOfANewRule) {
    SweepEditor(
        [&](FrmDefine& w) {
            w.TxtGZID.SetText(u"NEW");
            w.TxtGZName.SetText(u"n");
            w.txtDnmid.SetText(u"9");
            w.txtClassId.SetText(u"A");
            w.txtEndWs.SetText(u"4");
        },
        [](FrmDefine& w) { w.ClickOn(w.CmdSave); }, {kSaveFailed}, u"错误:", true, u"");
}

TEST_P(FaultSweep, SaveOfALevelAppendedToAStoredRule) {
    SweepEditor(
        [&](FrmDefine& w) {
            w.txtClassId.SetText(u"B");
            w.txtEndWs.SetText(u"20");
        },
        [](FrmDefine& w) { w.ClickOn(w.CmdSave); }, {kSaveFailed}, u"错误:", false, u"R4");
}

TEST_P(FaultSweep, SaveOfAnAmendedLevelThatShiftsTheLaterOnes) {
    SweepEditor(
        [&](FrmDefine& w) {
            w.vsfGrid.SetRow(RowOfLevel(w.vsfGrid, 2));
            w.PressKey(key::kF3);
            w.txtEndWs.SetText(u"11");
        },
        [](FrmDefine& w) { w.ClickOn(w.CmdSave); }, {kSaveFailed}, u"错误:", false, u"R4");
}

TEST_P(FaultSweep, SaveOfAnAmendedLevelWithTheSameEnd) {
    SweepEditor(
        [&](FrmDefine& w) {
            w.vsfGrid.SetRow(RowOfLevel(w.vsfGrid, 3));
            w.PressKey(key::kF3);
            w.txtClassId.SetText(u"P");
        },
        [](FrmDefine& w) { w.ClickOn(w.CmdSave); }, {kSaveFailed}, u"错误:", false, u"R4");
}

TEST_P(FaultSweep, DeletionOfAMiddleLevel) {
    SweepEditor([&](FrmDefine& w) { w.vsfGrid.SetRow(RowOfLevel(w.vsfGrid, 2)); },
                [](FrmDefine& w) { w.PressKey(key::kDelete); }, {kDeleteFailed, kShiftFailed},
                u"系统提示", false, u"R4");
}

TEST_P(FaultSweep, DeletionOfARule) {
    auto once = [&](int failAt) {
        Reset();
        Attempt run;
        host.scripts.push_back([&](Window& w) {
            boxes.boxes.clear();
            boxes.answers = {mb::kYes};
            StatementTrap trap(failAt);
            w.PressKey(key::kDelete);
            run.statements = trap.statements;
            run.fired = trap.fired;
        });
        ClsUse use;
        use.ConnString(store->ConnString());
        use.Show();
        return run;
    };
    Sweep(once, {u"删除失败!"}, u"系统提示");
}

INSTANTIATE_TEST_SUITE_P(Stores, FaultSweep, ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

}  // namespace
