// The editor's save button: header and current level in one transaction.
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "store/value.h"
#include "ui/field_text.h"
#include "ui/frm_define.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

constexpr char16_t kTitleCheck[] = u"系统提示";
constexpr char16_t kTitleFailed[] = u"错误:";

std::u16string Q(const std::u16string& text) {
    return SqlQuote(text);
}
std::u16string N(int16_t n) {
    return ToU16(n);
}
std::u16string N(double v) {
    return FormatReal(v);
}

int16_t ToInt16(const std::u16string& text) {
    return FieldValue::Text(text).ToInt16();
}

// "max(...) + 1" as the level number: the sum is formed wide, then must fit in 16 bits.
int16_t NextLevelNumber(const FieldValue& maxJs) {
    return FieldValue::Real(maxJs.ToDouble() + 1).ToInt16();
}

// The rule's last position: its levels' greatest end, where the next level starts after it. GS1
// levels end at -1, so a rule of GS1 levels alone has none, and its total is 0.
int16_t LastEnd(const FieldValue& maxEnd) {
    const int16_t end = maxEnd.ToInt16();
    return end < 0 ? int16_t{0} : end;
}

}  // namespace

void FrmDefine::CmdSave_Click() {
    bool transactionOpen = false;
    try {
        const SaveFields f{TxtGZID.Text(), TxtGZName.Text(), txtDnmid.Text(), txtClassId.Text()};
        if (!SaveChecksPass(f.ruleId)) return;
        // The rule's write lock first, then the rule as stored must still be the one shown.
        BeginRuleChange(DbConn(), {f.ruleId, CurGzid});
        transactionOpen = true;
        const bool renamed = !CurGzid.empty() && !EqualsNoCase(CurGzid, f.ruleId);
        // The rule that changed since it was shown is the one named and shown again: on a
        // rename, the rule under its old id.
        const std::u16string changed = !StoredAsShown(f.ruleId)             ? f.ruleId
                                       : renamed && !StoredAsShown(CurGzid) ? CurGzid
                                                                            : u"";
        if (!changed.empty()) {
            RefuseChangedElsewhere(changed, transactionOpen);
            ShowStoredRule(changed);
            return;
        }
        const SavedEnds ends = AmendsLoadedLevel() ? AmendLevel(f) : AppendLevel(f);
        ShowSaved(f.ruleId, ends, transactionOpen);
    } catch (...) {
        FailChange(u"\n保存失败！", mb::kCritical, kTitleFailed, transactionOpen,
                   {TxtGZID.Text(), CurGzid});
    }
}

bool FrmDefine::AmendsLoadedLevel() const {
    return !CurGzid.empty() && (OldEndWs > 0 || CurJs > 0) && LevelAmendMode;
}

bool FrmDefine::SaveChecksPass(const std::u16string& ruleId) {
    auto& m = Module();
    if (ruleId.empty()) {
        MsgBox(u"规则编号不能为空！", mb::kExclamation, kTitleCheck);
        if (TxtGZID.CanFocus()) TxtGZID.SetFocus();
        return false;
    }
    const LevelAiField ai = AiField();
    if (ai.gs1 && !ai.valid) {
        MsgBox(
            u"GS1 AI 无效！AI 是 2 至 4 位数字，如 01、3103；扫描器以别的字符代替 GS 时，写在 AI "
            u"后的冒号之后，最多 4 个字符，如 10:~。",
            mb::kExclamation, kTitleCheck);
        txtAi.SetFocus();
        return false;
    }
    if (AmendsLoadedLevel() && loadedGs1_ && !ai.gs1) {
        // Its positions 0 to -1 would become a segment of no characters.
        MsgBox(u"GS1 明细不能改为按位数截取的明细，请删除后再新增！", mb::kExclamation,
               kTitleCheck);
        txtAi.SetFocus();
        return false;
    }
    if (!ai.gs1 && txtStartWs.Value() > txtEndWs.Value()) {
        MsgBox(u"结束位数必须大于开始位数！", mb::kExclamation, kTitleCheck);
        txtEndWs.SetFocus();
        return false;
    }
    if (NewRuleMode) {
        m.SqlText = u"select * from txm_gzzb where gzid=" + Q(ruleId);
        if (QueryRecordCount(m.SqlText) > 0) {
            MsgBox(u"您已经定义过此规则了,请重新输入一个规则编码!", mb::kExclamation, kTitleCheck);
            if (TxtGZID.Enabled()) TxtGZID.SetFocus();
            return false;
        }
    }
    return true;
}

// The loaded level takes the fields' values.
FrmDefine::SavedEnds FrmDefine::AmendLevel(const SaveFields& f) {
    auto& m = Module();
    SavedEnds ends;
    const int16_t S = ToInt16(txtStartWs.Text());
    const int16_t E = ToInt16(txtEndWs.Text());
    const double X = txtXsWs.Value();
    const LevelAiField ai = AiField();
    if (ai.gs1) {
        // A GS1 level has no positions: the levels after it keep theirs.
        m.SqlText = u"update txm_gzmx set gzid=" + Q(f.ruleId) + u",lbid=" + Q(f.category) +
                    u",startws=0,endws=-1,xsws = 0, bz=" + Q(ai.marker) + u" where gzid=" +
                    Q(CurGzid) + u" and js=" + N(CurJs);
        DbConn().Execute(m.SqlText);
    } else if (E == OldEndWs) {
        m.SqlText = u"update txm_gzmx set gzid=" + Q(f.ruleId) + u",lbid=" + Q(f.category) +
                    u",startws=" + N(S) + u",endws=" + N(E) + u",xsws = " + N(X) + u", bz=" +
                    Q(u"") + u" where gzid=" + Q(CurGzid) + u" and js=" + N(CurJs);
        DbConn().Execute(m.SqlText);
    } else {
        m.SqlText = u"select * from txm_gzmx where gzid=" + Q(CurGzid) + u" and js>" + N(CurJs);
        m.DbRs = QueryReadOnly(m.SqlText);
        if (m.DbRs->RecordCount() > 0) {
            // Every later level moves by the change of this level's end.
            const int16_t D = Sub16(E, OldEndWs);
            m.SqlText = u"update txm_gzmx set gzid=" + Q(f.ruleId) + u",startws=startws + " + N(D) +
                        u",endws=endws + " + N(D) + u" where gzid=" + Q(CurGzid) + u" and js>" +
                        N(CurJs) + KeepGs1Levels(CurGzid, CurJs);
            DbConn().Execute(m.SqlText);
        }
        m.SqlText = u"update txm_gzmx set gzid=" + Q(f.ruleId) + u",lbid=" + Q(f.category) +
                    u",startws=" + N(S) + u",endws=" + N(E) + u",bz=" + Q(u"") + u",xsws = " +
                    N(X) + u" where gzid=" + Q(CurGzid) + u" and js=" + N(CurJs);
        DbConn().Execute(m.SqlText);
    }
    m.SqlText = u"select max(endws) as Maxws from txm_gzmx where gzid=" + Q(CurGzid);
    ends.lastEnd = LastEnd(QueryFieldValue(m.SqlText, u"Maxws"));
    m.SqlText = u"Update txm_gzzb set gzid = " + Q(f.ruleId) + u",gzname =" + Q(f.ruleName) +
                u",dnmid=" + Q(f.storeCode) + u",txmzws=" + N(ends.lastEnd) + u" where gzid=" +
                Q(CurGzid);
    DbConn().Execute(m.SqlText);
    m.SqlText = u"select max(js) as MaxJs from txm_gzmx where gzid=" + Q(f.ruleId);
    ends.lastJs = QueryFieldValue(m.SqlText, u"MaxJs").ToInt16();
    return ends;
}

FrmDefine::SavedEnds FrmDefine::AppendLevel(const SaveFields& f) {
    auto& m = Module();
    SavedEnds ends;
    // A stored header is left as it is on this path.
    m.SqlText = u"select * from txm_gzzb where gzid=" + Q(f.ruleId);
    if (QueryRecordCount(m.SqlText) == 0) {
        m.SqlText = u"insert into txm_gzzb(gzid,gzname,dnmid) values(" + Q(f.ruleId) + u"," +
                    Q(f.ruleName) + u"," + Q(f.storeCode) + u")";
        DbConn().Execute(m.SqlText);
    }
    // Gaps left by deletions are not filled: always the highest number plus one.
    m.SqlText = u"select max(js) as MaxJs from txm_gzmx where gzid=" + Q(f.ruleId);
    ends.lastJs = NextLevelNumber(QueryFieldValue(m.SqlText, u"MaxJs"));
    const LevelAiField ai = AiField();
    if (ai.gs1) {
        m.SqlText = u"insert into txm_gzmx(gzid,js,lbid,startws,endws,xsws,bz) values(" +
                    Q(f.ruleId) + u"," + Q(N(ends.lastJs)) + u"," + Q(f.category) + u",0,-1,0," +
                    Q(ai.marker) + u")";
    } else {
        m.SqlText = u"insert into txm_gzmx(gzid,js,lbid,startws,endws,xsws) values(" + Q(f.ruleId) +
                    u"," + Q(N(ends.lastJs)) + u"," + Q(f.category) + u"," + N(txtStartWs.Value()) +
                    u"," + N(txtEndWs.Value()) + u"," + N(txtXsWs.Value()) + u")";
    }
    DbConn().Execute(m.SqlText);
    m.SqlText = u"select max(endws) as Maxws from txm_gzmx where gzid=" + Q(f.ruleId);
    ends.lastEnd = LastEnd(QueryFieldValue(m.SqlText, u"Maxws"));
    m.SqlText = u"update txm_gzzb set txmzws=" + N(ends.lastEnd) + u" where gzid=" + Q(f.ruleId);
    DbConn().Execute(m.SqlText);
    return ends;
}

void FrmDefine::ShowSaved(const std::u16string& ruleId, const SavedEnds& ends,
                          bool& transactionOpen) {
    auto& m = Module();
    // Everything the window will show is read and formed while the change can still be
    // rolled back; the screen changes only once the store holds the change.
    const std::u16string nextCaption = u"第 " + N(Add16(ends.lastJs, 1)) + u" 级";
    const std::u16string nextStart = N(Add16(ends.lastEnd, 1));
    m.SqlText = u"select max(endws) as Maxws from txm_gzmx where gzid=" + Q(ruleId);
    const std::u16string total = FieldText(QueryFieldValue(m.SqlText, u"Maxws"));
    m.SqlText = LevelGridSql(ruleId, false);
    const std::shared_ptr<Recordset> levels = QueryEditable(m.SqlText);
    RuleVersion saved = ReadRuleVersion(DbConn(), ruleId);
    DbConn().CommitTrans();
    transactionOpen = false;
    shownRule_ = ruleId;
    shownVersion_ = std::move(saved);

    OldEndWs = 0;
    CurJs = 0;
    CurGzid.clear();
    LastJs = ends.lastJs;
    LevelAmendMode = false;
    NewRuleMode = false;
    LblLBName.SetCaption(nextCaption);
    txtStartWs.SetText(nextStart);
    txtTxmWS.SetText(total);
    vsfGrid.SetDataSource(levels);
    // The rule has levels now: a retyped id would make the next save start a rule whose
    // positions continue those of this one.
    TxtGZID.SetEnabled(false);

    // Ready for the next level of the same rule, two digits wide until the user says else.
    txtClassId.SetFocus();
    txtClassId.SetText(u"");
    txtClassName.SetText(u"");
    txtEndWs.SetText(N(txtStartWs.Value() + 1));
    txtXsWs.SetText(u"");
    txtAi.SetText(u"");
    txtAiName.SetText(u"");
    loadedGs1_ = false;
}

}  // namespace quorvel::ui
