// The editor's GS1 AI field: Enter looks the typed AI up and shows its title, or offers the AIs
// that begin with what was typed (every AI when nothing was), as the category field offers the
// categories. A well-formed AI the table does not hold is kept: the table may lag behind new
// AIs, and the cut then runs its data to the next separator.
#include <string>
#include <vector>

#include "service/gs1.h"
#include "store/text.h"
#include "ui/frm_define.h"
#include "ui/picker_dialog.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

// The field's text as the AI and substitute it stands for: an input method left in Chinese mode
// types full-width digits and a full-width colon (３１０３：～), which mean the ASCII ones.
std::u16string Trimmed(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : s) {
        if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<char16_t>(c - 0xFF01 + 0x21);
        if (c == 0x3000) c = u' ';
        out += c;
    }
    const size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) return u"";
    return out.substr(first, out.find_last_not_of(u' ') - first + 1);
}

// The field's AI and, after ":", the substitute.
struct AiParts {
    std::u16string ai, substitute;
    bool hasSubstitute = false;
};
AiParts Split(const std::u16string& text) {
    const size_t colon = text.find(u':');
    if (colon == std::u16string::npos) return {text, u"", false};
    return {text.substr(0, colon), text.substr(colon + 1), true};
}

std::string Ascii(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Every AI of the table, a family by each of its members, that begins with `prefix`.
std::vector<std::vector<std::u16string>> AiRows(const std::u16string& prefix) {
    std::vector<std::vector<std::u16string>> rows;
    auto add = [&](std::u16string ai, const gs1::AiInfo& info) {
        if (ai.compare(0, prefix.size(), prefix) == 0) rows.push_back({ai, gs1::Title(info)});
    };
    for (const auto& info : gs1::AllAis()) {
        const std::u16string ai = FromUtf8(info.ai);
        if (info.flags & gs1::kDecimals) {
            for (int n = 0; n <= info.maxDecimals; ++n) add(ai + ToU16(n), info);
        } else {
            add(ai, info);
        }
    }
    return rows;
}

// The staff's choice among the rows; -1 when they give up. A single row is chosen unasked.
int PickAi(const std::vector<std::vector<std::u16string>>& rows) {
    if (rows.size() == 1) return 0;
    FrmPicker dialog;
    dialog.vsfList.SetCells({u"AI", u"名称"}, rows);
    CurrentWindowHost().ShowModal(dialog);
    return dialog.Chosen() ? dialog.ChosenRow() - 1 : -1;
}

}  // namespace

FrmDefine::LevelAiField FrmDefine::AiField() const {
    LevelAiField f;
    const std::u16string text = Trimmed(txtAi.Text());
    if (text.empty()) return f;
    f.gs1 = true;
    f.marker = u"GS1:" + text;
    gs1::LevelSpec level;
    f.valid = gs1::ReadMarker(f.marker, level);
    return f;
}

void FrmDefine::txtAi_GotFocus() {
    SelectAllText(txtAi);
}

void FrmDefine::txtAi_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    if (keyCode == key::kEnter || keyCode == key::kDown) {
        if (keyCode == key::kEnter) LookUpAi();
        // A GS1 level has no positions or decimals to type: the save comes next. Without an AI
        // the level is one of positions, whose end comes next.
        if (AiField().gs1) {
            CmdSave.SetFocus();
        } else {
            txtEndWs.SetFocus();
        }
    } else if (keyCode == key::kUp) {
        txtClassId.SetFocus();
    }
}

void FrmDefine::LookUpAi() {
    const std::u16string text = Trimmed(txtAi.Text());
    AiParts parts = Split(text);
    const bool known = gs1::FindAi(Ascii(parts.ai)) != nullptr;
    const bool wellFormed = AiField().valid;
    if (!(known || (wellFormed && !text.empty()))) {
        auto rows = AiRows(parts.ai);
        // Nothing begins so: the whole table, from which the right one can still be found.
        if (rows.empty()) rows = AiRows(u"");
        const int chosen = PickAi(rows);
        if (chosen >= 0) parts.ai = rows[static_cast<size_t>(chosen)][0];
    }
    const std::u16string shown =
        parts.hasSubstitute ? parts.ai + u":" + parts.substitute : parts.ai;
    if (shown != txtAi.Text()) txtAi.SetText(shown);
    ShowAiTitle();
}

void FrmDefine::ShowAiTitle() {
    const LevelAiField f = AiField();
    const std::u16string ai = Split(Trimmed(txtAi.Text())).ai;
    const gs1::AiInfo* info = f.gs1 ? gs1::FindAi(Ascii(ai)) : nullptr;
    if (info) {
        txtAiName.SetText(gs1::Title(*info));
    } else if (f.gs1 && f.valid) {
        txtAiName.SetText(u"不在 GS1 AI 表中");
    } else {
        txtAiName.SetText(u"");
    }
}

std::u16string FrmDefine::KeepGs1Levels(const std::u16string& G, int16_t J) const {
    for (int32_t r = 1; r < vsfGrid.Rows(); ++r) {
        if (!EqualsNoCase(vsfGrid.TextMatrix(r, 1), G)) continue;
        const int16_t js = FieldValue::Text(vsfGrid.TextMatrix(r, 2)).ToInt16();
        if (js > J && vsfGrid.TextMatrix(r, 4) == u"0" && vsfGrid.TextMatrix(r, 5) == u"-1")
            return u" and not (startws=0 and endws=-1)";
    }
    return u"";
}

}  // namespace quorvel::ui
