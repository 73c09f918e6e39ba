// F5 in the editor: the test window, for the rule as the save button would store it now.
#include "store/error.h"
#include "store/module_state.h"
#include "store/text.h"
#include "store/value.h"
#include "ui/frm_define.h"
#include "ui/frm_test.h"

namespace quorvel::ui {

namespace {

tools::Number WholeNumber(const NumericBox& box) {
    return static_cast<int64_t>(box.Value());
}

// What a till reads of a level the save writes: its numbers (Null as 0) under the header's code,
// and its remark, where a GS1 level keeps its AI.
void ReadAsSaved(tools::StoredLevel& l, const tools::Text& dnmid) {
    auto value = [](const tools::Number& n) { return FieldValue::I64(n.value_or(0)); };
    tools::ReadAsTill(l, value(l.startws), value(l.endws), value(l.xsws), dnmid, l.bz);
}

}  // namespace

tools::StoredRule FrmDefine::RuleAsSaved(std::vector<std::u16string>& notes) {
    const bool amend = AmendsLoadedLevel();
    const std::u16string ruleId = amend ? CurGzid : TxtGZID.Text();
    tools::StoredRule rule;
    rule.gzid = ruleId;
    bool stored = false;
    if (!ruleId.empty()) {
        std::vector<std::u16string> missing;
        auto found = tools::LoadRules(DbConn(), {ruleId}, missing);
        if (!found.empty()) {
            rule = std::move(found[0]);
            stored = true;
        }
    }
    if (ruleId.empty()) notes.push_back(u"规则编号为空，保存会被拒绝");
    if (stored && NewRuleMode) notes.push_back(u"规则 " + ruleId + u" 已经定义过，保存会被拒绝");
    const tools::Text storedCode = rule.dnmid;
    // Appending to a stored rule leaves its header as it is; amending a level rewrites it.
    if (amend || !stored) {
        rule.gzname = TxtGZName.Text();
        rule.dnmid = txtDnmid.Text();
    } else if (rule.dnmid.value_or(u"") != txtDnmid.Text()) {
        notes.push_back(u"店内码编号只在修改明细时保存，新增明细时仍是 " +
                        rule.dnmid.value_or(u""));
    }

    const tools::Number S = WholeNumber(txtStartWs), E = WholeNumber(txtEndWs);
    const LevelAiField ai = AiField();
    // What the save writes for the level: a GS1 level at positions 0 to -1 with its AI in the
    // remark, or the positions typed with the remark empty.
    auto setLevel = [&](tools::StoredLevel& l) {
        l.lbid = txtClassId.Text();
        l.startws = ai.gs1 ? 0 : *S;
        l.endws = ai.gs1 ? -1 : *E;
        l.xsws = ai.gs1 ? 0 : *WholeNumber(txtXsWs);
        l.bz = ai.gs1 ? ai.marker : u"";
        ReadAsSaved(l, rule.dnmid);
    };
    if (txtClassId.Text().empty()) {
        notes.push_back(u"当前明细没有类别，未计入");
    } else if (ai.gs1 && !ai.valid) {
        notes.push_back(u"当前明细的 GS1 AI 无效，保存会被拒绝，未计入");
    } else if (amend && loadedGs1_ && !ai.gs1) {
        notes.push_back(u"GS1 明细不能改为按位数截取的明细，保存会被拒绝，未计入");
    } else if (!ai.gs1 && *S > *E) {
        notes.push_back(u"当前明细的结束位数小于开始位数，保存会被拒绝，未计入");
    } else if (amend) {
        // A changed end moves every later level by the same amount, but GS1 levels, which
        // have no positions; a GS1 level amended moves nothing.
        const int64_t moved = ai.gs1 ? 0 : *E - OldEndWs;
        for (auto& l : rule.levels) {
            if (!l.js) continue;
            const bool gs1Level = l.startws == 0 && l.endws == -1;
            if (*l.js == CurJs) {
                setLevel(l);
            } else if (*l.js > CurJs && moved != 0 && !gs1Level) {
                if (l.startws) *l.startws += moved;
                if (l.endws) *l.endws += moved;
                ReadAsSaved(l, rule.dnmid);
            }
        }
    } else {
        int64_t next = 1;
        for (const auto& l : rule.levels) {
            if (l.js && *l.js >= next) next = *l.js + 1;
        }
        tools::StoredLevel added;
        added.js = next;
        setLevel(added);
        if (!ai.gs1) added.bz.reset();  // the append writes no remark
        // The store keeps returning the stored level of a category first: the new one of the
        // same category is the one a till never gets.
        for (const auto& l : rule.levels) {
            if (l.lbid == added.lbid) added.tillUses = false;
        }
        rule.levels.push_back(std::move(added));
    }
    // Levels the edit leaves alone still move with a changed in-store code.
    if (rule.dnmid != storedCode) {
        const auto length = static_cast<int16_t>(rule.dnmid.value_or(u"").size());
        for (auto& l : rule.levels) {
            if (l.till.read) l.till.l = length;
        }
    }
    // The save stores the greatest end as the total, 0 for a rule of GS1 levels alone.
    tools::Number total;
    for (const auto& l : rule.levels) {
        if (l.endws && (!total || *l.endws > *total)) total = l.endws;
    }
    if (total && *total < 0) total = 0;
    rule.txmzws = total;
    return rule;
}

void FrmDefine::ShowTest() {
    std::vector<std::u16string> notes;
    tools::StoredRule rule = RuleAsSaved(notes);
    FrmTest test(std::move(rule), tools::StoreCategories(DbConn()), std::move(notes));
    CurrentWindowHost().ShowModal(test);
}

}  // namespace quorvel::ui
