// The rule editor window: the rule header at the top, one level at a time in the level fields,
// and the grid of the rule's stored levels. Opened modally by the browser, to define a new
// rule (NewRuleMode) or to amend the one whose id it hands over through Gzid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/rule_guard.h"
#include "store/value.h"
#include "tools/rules.h"
#include "ui/form.h"

namespace quorvel::ui {

class FrmDefine : public Window {
  public:
    FrmDefine();

    // Write-only property: the rule to amend, converted to text.
    void Gzid(const FieldValue& value);
    // The window has unloaded and dropped itself; its owner lets the object go.
    bool Released() const { return released_; }

    // Controls, in tab order first.
    TextBox& TxtGZID;
    TextBox& TxtGZName;
    TextBox& txtDnmid;
    TextBox& txtClassId;
    NumericBox& txtEndWs;
    NumericBox& txtXsWs;
    CommandButton& CmdSave;
    NumericBox& txtTxmWS;
    NumericBox& txtStartWs;
    Grid& vsfGrid;
    TextBox& txtClassName;
    Label& LblLBName;
    Label& LblGZID;
    Label& LblGZName;
    Label& LblDnmid;
    Label& LblTxmWS;
    Label& Lbllx0;
    Label& Lbllx21;
    Label& Lbllx22;
    Frame& Frame1;
    StatusBar& StatusBar1;
    Timer& TmrLoad;
    Timer& tmrAmendLoad;
    // A GS1 level's AI (with ":" and the scanner's substitute for GS, when it sends one), and
    // the AI's title. Outside the Enter and Tab chains of position levels, which stay as they
    // were: F6 reaches it.
    TextBox& txtAi;
    TextBox& txtAiName;
    Label& LblAi;

    // Window state: the rule and level being worked on, and the last level number saved.
    std::u16string CurGzid;
    int16_t CurJs = 0;
    int16_t OldEndWs = 0;
    int16_t LastJs = 0;
    // Defining a new rule (set by the browser before showing the window), and a stored level
    // loaded for amending.
    bool NewRuleMode = false;
    bool LevelAmendMode = false;

    void LoadRule(const std::u16string& R);
    void FillLevelGrid(const std::u16string& R);
    void LoadLevel(const std::u16string& R, int16_t N);
    void vsfGrid_DblClick();
    void CmdSave_Click();
    void DeleteLevel();
    // On failure the change is rolled back (transactionOpen cleared) before the box shows.
    bool ShiftLaterLevels(const std::u16string& G, int16_t J, int16_t S, int16_t E,
                          bool& transactionOpen);
    // F5: the test window. The rule it tests is the stored one with the fields applied as the
    // save button would apply them; `notes` get what the fields leave out or the save refuses.
    void ShowTest();
    tools::StoredRule RuleAsSaved(std::vector<std::u16string>& notes);
    // The save's choice: amend the loaded level (true) or append one.
    bool AmendsLoadedLevel() const;
    // The AI field as the save reads it: no AI, an AI the save stores as the level's remark, or
    // text the save refuses.
    struct LevelAiField {
        bool gs1 = false;
        bool valid = true;
        std::u16string marker;
    };
    LevelAiField AiField() const;
    void LookUpAi();

  protected:
    void Form_Load() override;
    void Form_Unload() override;
    void Form_KeyDown(int16_t& keyCode, int16_t shift) override;

  private:
    // Reads one level into the level fields and the amend state; false when it is not stored.
    bool ShowLevel(const std::u16string& R, int16_t N);
    void TmrLoad_Timer();
    void tmrAmendLoad_Timer();
    void TxtGZID_GotFocus();
    void TxtGZID_KeyDown(int16_t& keyCode, int16_t shift);
    void TxtGZName_GotFocus();
    void TxtGZName_KeyDown(int16_t& keyCode, int16_t shift);
    void txtDnmid_GotFocus();
    void txtDnmid_KeyDown(int16_t& keyCode, int16_t shift);
    void txtEndWs_KeyDown(int16_t& keyCode, int16_t shift);
    void txtXsWs_KeyDown(int16_t& keyCode, int16_t shift);
    void CmdSave_KeyDown(int16_t& keyCode, int16_t shift);
    void txtClassId_GotFocus();
    void txtClassId_KeyDown(int16_t& keyCode, int16_t shift);
    void txtClassId_LostFocus();
    void LookUpCategory();
    void txtAi_GotFocus();
    void txtAi_KeyDown(int16_t& keyCode, int16_t shift);
    void ShowAiTitle();
    // The shift of the levels after level J keeps GS1 levels where they are (positions 0 to
    // -1): as statement text, empty when the grid shows no GS1 level after J.
    std::u16string KeepGs1Levels(const std::u16string& G, int16_t J) const;
    // The save button's steps: check, amend the loaded level or append one, then commit and show
    // the rule as stored.
    struct SaveFields {
        std::u16string ruleId, ruleName, storeCode, category;
    };
    struct SavedEnds {
        int16_t lastEnd = 0;
        int16_t lastJs = 0;
    };
    bool SaveChecksPass(const std::u16string& ruleId);
    SavedEnds AmendLevel(const SaveFields& f);
    SavedEnds AppendLevel(const SaveFields& f);
    void ShowSaved(const std::u16string& ruleId, const SavedEnds& ends, bool& transactionOpen);
    void FieldKeys(int16_t keyCode);  // Enter and Down forward, Up back
    void EndLevelAmend();
    // The rule as this window showed it, so that a change made elsewhere since is never written
    // over (rule_guard.h): noted when the rule is loaded and when a save has stored it.
    void NoteShownRule(const std::u16string& R);
    bool StoredAsShown(const std::u16string& ruleId);  // inside the change
    // After a refusal: the rule as stored, and a loaded level as stored if it still is.
    void ShowStoredRule(const std::u16string& R);

    bool released_ = false;
    bool loadedGs1_ = false;  // the level loaded for amending is a GS1 level
    std::u16string shownRule_;
    RuleVersion shownVersion_;
};

}  // namespace quorvel::ui
