#include "ui/window_helpers.h"

#include "store/dialect.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/rule_guard.h"

namespace quorvel::ui {

namespace {
constexpr long kCannotCreateObject = 429;
thread_local RecordPickerFactory tPickerFactory;
}  // namespace

std::u16string LevelGridSql(const std::u16string& ruleId, bool qualified) {
    const std::u16string a = qualified ? u"a." : u"";
    return u"select " + a +
           u"GZID AS 规则编号,JS AS 级数,b.name as 代表名称,startws as 开始位数,endws as "
           u"结束位数,isnull(xsws,0) as 小数位数 "
           u"from txm_gzmx a inner join (select * from glsx where fid=" +
           kSegmentCategories + u") b on a.lbid=b.id where " + a + u"gzid=" + SqlQuote(ruleId);
}

void RollBackIfOpen(bool& transactionOpen) noexcept {
    if (!transactionOpen) return;
    transactionOpen = false;
    try {
        DbConn().RollbackTrans();
    } catch (...) {
    }
}

void FailChange(const std::u16string& message, int buttons, const std::u16string& title,
                bool& transactionOpen, const std::vector<std::u16string>& ruleIds) noexcept {
    std::u16string text;
    try {
        text = (ruleIds.empty() ? DescribeCurrentException()
                                : DescribeChangeFailure(DbConn(), ruleIds)) +
               message;
    } catch (...) {
    }
    auto& m = Module();
    if (m.DbRs) {
        try {
            if (m.DbRs->State() == kStateOpen) m.DbRs->Close();
        } catch (...) {
        }
        m.DbRs.reset();
    }
    RollBackIfOpen(transactionOpen);
    try {
        MsgBox(text, buttons, title);
    } catch (...) {
    }
}

void RefuseChangedElsewhere(const std::u16string& ruleId, bool& transactionOpen) noexcept {
    RollBackIfOpen(transactionOpen);
    try {
        MsgBox(u"规则编号为[" + ruleId + u"]的规则已被别处修改,本次未作任何更改,现显示其最新内容。",
               mb::kExclamation, u"系统提示");
    } catch (...) {
    }
}

void SelectAllText(TextBox& box) {
    box.SetSelStart(0);
    box.SetSelLength(static_cast<int32_t>(box.Text().size()));
}

void SetRecordPickerFactory(RecordPickerFactory factory) {
    tPickerFactory = std::move(factory);
}

PickValue PickRecord(const std::u16string& sql, int16_t& option) {
    if (!tPickerFactory)
        throw DbError(kCannotCreateObject, u"ActiveX component can't create object");
    std::unique_ptr<RecordPicker> picker = tPickerFactory();
    if (!picker) throw DbError(kCannotCreateObject, u"ActiveX component can't create object");
    picker->SetConnString(Module().ConnString);
    picker->SetSql(sql);
    picker->SetOption(option);
    picker->Show();
    PickValue result = picker->Result();
    picker.reset();
    return result;
}

}  // namespace quorvel::ui
