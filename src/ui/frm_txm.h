// The rule browser: the list of rules, the levels of the selected one, and the toolbar and
// keys that define, amend and delete rules.
#pragma once

#include <memory>
#include <string>

#include "ui/form.h"
#include "ui/frm_define.h"

namespace quorvel::ui {

class FrmTXM : public Window {
  public:
    FrmTXM();

    bool Released() const { return released_; }
    // The editor window object while one exists (it drops itself when it closes).
    FrmDefine* Editor() const { return frmDefine_.get(); }

    Toolbar& Tlb;
    Frame& Frame3;
    PictureBox& Pic1;
    Frame& FamGz;
    ListBox& LstGz;
    Frame& famDetail;
    Grid& vsfGrid;
    StatusBar& StatusBar1;

    void ShowRuleLevels(const std::u16string& ruleId);
    void DeleteRule(const std::u16string& ruleId);
    void Tlb_ButtonClick(const ToolbarButton& button);
    void LstGz_Click();
    void Form_Resize() {}  // the window keeps its size: nothing moves

  protected:
    void Form_Load() override;
    void Form_Unload() override;
    void Form_KeyDown(int16_t& keyCode, int16_t shift) override;

  private:
    FrmDefine& EditorWindow();
    void ShowEditor();
    void SelectRule(const std::u16string& ruleId);

    std::unique_ptr<FrmDefine> frmDefine_;
    bool released_ = false;
    // The rule whose levels the grid showed last, as stored then: a rule changed elsewhere since
    // is not deleted unseen (rule_guard.h). refused_ names a rule whose deletion was refused.
    std::u16string shownRule_;
    RuleVersion shownVersion_ = RuleVersion::Unknown();
    std::u16string refused_;
};

// Refills the browser's list, one entry "rule id|rule name" per rule, and selects the first.
void FillRuleList(FrmTXM& frm);

}  // namespace quorvel::ui
