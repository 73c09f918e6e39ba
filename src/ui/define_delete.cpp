// The Delete key in the editor: remove the grid's current level and close the gap behind it.
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "store/value.h"
#include "ui/frm_define.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

constexpr char16_t kTitle[] = u"系统提示";

int16_t ToInt16(const std::u16string& text) {
    return FieldValue::Text(text).ToInt16();
}

}  // namespace

void FrmDefine::DeleteLevel() {
    auto& m = Module();
    bool transactionOpen = false;
    std::u16string G;
    try {
        if (vsfGrid.Rows() < 2) return;
        const int32_t row = vsfGrid.Row();
        const std::u16string question =
            u"您确认要删除代表名称为[" + vsfGrid.TextMatrix(row, 3) + u"]的数据吗？[Y/N]";
        if (MsgBox(question, mb::kYesNo + mb::kQuestion, kTitle) != mb::kYes) return;

        G = vsfGrid.TextMatrix(row, 1);
        // The rule's write lock first, then the rule as stored must still be the one shown.
        BeginRuleChange(DbConn(), {G});
        transactionOpen = true;
        if (!StoredAsShown(G)) {
            RefuseChangedElsewhere(G, transactionOpen);
            ShowStoredRule(G);
            return;
        }
        const int16_t J = ToInt16(vsfGrid.TextMatrix(row, 2));
        const int16_t S = ToInt16(vsfGrid.TextMatrix(row, 4));
        const int16_t E = ToInt16(vsfGrid.TextMatrix(row, 5));
        // Deleting after a failed shift would leave the later levels at their old positions,
        // with a hole; the shift has then rolled the change back.
        if (!ShiftLaterLevels(G, J, S, E, transactionOpen)) return;
        m.SqlText =
            u"DELETE TXM_GZMX WHERE GZID=" + SqlQuote(G) + u" AND js=" + vsfGrid.TextMatrix(row, 2);
        DbConn().Execute(m.SqlText);
        DbConn().CommitTrans();
        transactionOpen = false;

        LoadRule(G);
        // The level loaded for amending is either gone, and a save must not "amend" a row that
        // is no more, or may have moved: the fields and the amend state then follow the store,
        // so that a save writes only positions the user has seen.
        if (LevelAmendMode) {
            const bool gone = CurJs == J && EqualsNoCase(CurGzid, G);
            if (gone || !ShowLevel(CurGzid, CurJs)) EndLevelAmend();
        }
    } catch (...) {
        FailChange(u"\n删除明细时出错!", mb::kExclamation, kTitle, transactionOpen, {G});
    }
}

bool FrmDefine::ShiftLaterLevels(const std::u16string& G, int16_t J, int16_t S, int16_t E,
                                 bool& transactionOpen) {
    auto& m = Module();
    try {
        m.SqlText = u"select * from txm_gzmx where gzid=" + SqlQuote(G) + u" and js>" + ToU16(J);
        m.DbRs = QueryReadOnly(m.SqlText);
        if (m.DbRs->RecordCount() > 0) {
            const int16_t W = Add16(Sub16(E, S), 1);
            m.SqlText = u"update txm_gzmx set gzid=" + SqlQuote(G) + u",startws=startws - " +
                        ToU16(W) + u",endws=endws - " + ToU16(W) + u" where gzid=" + SqlQuote(G) +
                        u" and js>" + ToU16(J) + KeepGs1Levels(G, J);
            DbConn().Execute(m.SqlText);
        }
        return true;
    } catch (...) {
        // The change is rolled back before the box, which would otherwise hold its lock.
        FailChange(u"\n位数排序时出错!", mb::kExclamation, kTitle, transactionOpen, {G});
        return false;
    }
}

void FrmDefine::EndLevelAmend() {
    LevelAmendMode = false;
    CurGzid.clear();
    CurJs = 0;
    OldEndWs = 0;
    txtClassId.SetText(u"");
    txtClassName.SetText(u"");
    txtEndWs.SetText(u"");
    txtXsWs.SetText(u"");
    txtAi.SetText(u"");
    txtAiName.SetText(u"");
    loadedGs1_ = false;
}

}  // namespace quorvel::ui
