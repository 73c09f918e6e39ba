// The editor's test window (F5): staff scan or type a label and see, level by level, what a till
// will get for it under the rule as the editor would save it, with the label's check digit, the
// in-store code, price verifiers and what the rule check finds, in their own words.
#pragma once

#include <string>
#include <vector>

#include "tools/rules.h"
#include "ui/form.h"

namespace quorvel::ui {

class FrmTest : public Window {
  public:
    // `rule` is the rule as a save would store it; `notes` say what the editor's unsaved
    // fields change or leave out of it.
    FrmTest(tools::StoredRule rule, tools::CategoryLookup categories,
            std::vector<std::u16string> notes);

    Label& LblTxm;
    TextBox& txtTxm;
    Label& LblRule;
    Grid& vsfLevels;
    ListBox& lstNotes;
    StatusBar& StatusBar1;

    // Cuts the label in the field and shows the levels and the findings.
    void TestLabel();

  protected:
    void Form_Load() override;
    void Form_KeyDown(int16_t& keyCode, int16_t shift) override;

  private:
    tools::StoredRule rule_;
    tools::CategoryLookup categories_;
    std::vector<std::u16string> notes_;
};

// A rule check finding as staff read it.
std::u16string StaffWords(const tools::Finding& f, const tools::StoredRule& rule);

}  // namespace quorvel::ui
