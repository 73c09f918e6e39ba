// The editor's test window (F5): staff scan or type a label and see, level by level, what a till
// will get for it under the rule as the editor would save it, with the label's check digit, the
// in-store code, price and measure verifiers, a GS1 label's findings and what the rule check
// finds, in their own words.
#pragma once

#include <string>
#include <vector>

#include "service/gs1.h"
#include "tools/rules.h"
#include "ui/form.h"

namespace quorvel::ui {

// The label field: a scanner's GS (the FNC1 of a GS1 label) reaches it as the character it is,
// where other text boxes drop control characters.
class ScanBox : public TextBox {
  public:
    using TextBox::TextBox;
    bool Accepts(char16_t c) const override { return c == 0x1D || TextBox::Accepts(c); }
};

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
// A finding on a scanned GS1 label as staff read it.
std::u16string StaffWords(const gs1::Finding& f, const gs1::Label<char16_t>& label);

}  // namespace quorvel::ui
