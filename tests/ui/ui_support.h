// The user, the record picker and the rule tables, for driving the maintenance windows.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/backend.h"
#include "store/connection.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/text.h"
#include "support.h"
#include "ui/form.h"
#include "ui/frm_define.h"
#include "ui/frm_txm.h"
#include "ui/window_helpers.h"

namespace quorvel::test {

// Plays the user of each modal window in turn: the n-th window shown runs the n-th script;
// whatever the script leaves open is closed with the close box.
class ScriptedHost final : public ui::WindowHost {
  public:
    ScriptedHost();
    ~ScriptedHost() override;
    void ShowModal(ui::Window& w) override;
    std::deque<std::function<void(ui::Window&)>> scripts;
    std::vector<std::u16string> shown;  // names of the windows shown, in order
};

// The record picker as a user sees it: it runs the statement itself and the test chooses.
class ScriptedPicker {
  public:
    ScriptedPicker();
    ~ScriptedPicker();
    struct Call {
        std::u16string connString;
        std::u16string sql;
        int16_t option = -1;
        std::vector<std::vector<std::u16string>> rows;  // what the user was offered
    };
    std::vector<Call> calls;
    // What the user does with the rows offered: a row index, or nullopt to give up.
    std::function<std::optional<size_t>(const Call&)> choose;
    // When set, the picker hands this back whatever was offered.
    std::optional<ui::PickValue> fixedResult;
    bool failToCreate = false;
};

// Counts every statement on this thread while it lives; fails the n-th one (1-based) if asked.
class StatementTrap {
  public:
    explicit StatementTrap(int failAt = 0);
    ~StatementTrap();
    int count = 0;
    std::vector<std::u16string> statements;
    bool fired = false;
};

inline constexpr char16_t kInjected[] = u"injected failure";

// A stored level; a Null number reads as -1.
struct LevelRow {
    std::u16string gzid;
    int js = 0;
    std::u16string lbid;
    int startws = 0;
    int endws = 0;
    int xsws = 0;
    bool operator==(const LevelRow&) const = default;
};
void PrintTo(const LevelRow& r, std::ostream* os);

class UiScenario : public ::testing::Test {
  public:
    // The grid row that shows this level; fails the test when there is none.
    static int32_t RowOfLevel(const ui::Grid& grid, int js);
    static std::vector<int> GridLevels(const ui::Grid& grid);

  protected:
    explicit UiScenario(size_t target = 0) : target_(target) {}
    void SetUp() override;
    void TearDown() override;

    void Exec(const std::vector<std::u16string>& statements) { store->Exec(statements); }
    std::shared_ptr<const ResultData> Query(const std::u16string& sql);
    // Every row of both rule tables, in a fixed order: the state a failed change must keep.
    std::u16string Dump();
    std::vector<LevelRow> Levels(const std::u16string& gzid);
    std::vector<std::u16string> Header(const std::u16string& gzid);  // empty when none

    // The rule R4: levels 1 (1-4, A), 2 (5-8, B), 3 (9-12, W), 4 (13-14, P).
    void SeedR4();

    // The editor as the browser opens it, without the browser.
    std::unique_ptr<ui::FrmDefine> OpenEditor(bool newRule, const std::u16string& gzid = u"");
    // Replaces a numeric box's text the way a clerk does: entering it selects it, typing
    // replaces it.
    static void Retype(ui::Window& w, ui::TextBox& box, std::u16string_view text);

    size_t target_;
    std::unique_ptr<TestStore> store;
    RecordingBoxes boxes;
    ScriptedHost host;
    ScriptedPicker picker;
};

class UiOnTargets : public UiScenario, public ::testing::WithParamInterface<size_t> {
  protected:
    UiOnTargets() : UiScenario(GetParam()) {}
};

}  // namespace quorvel::test
