#include "ui/frm_txm.h"

#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "ui/field_text.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {
constexpr char16_t kDefine[] = u"定义";
constexpr char16_t kAmend[] = u"修改";
constexpr char16_t kDelete[] = u"删除";
constexpr char16_t kExit[] = u"退出";
}  // namespace

FrmTXM::FrmTXM()
    : Window(u"FrmTXM"),
      Tlb(Add<Toolbar>(u"Tlb")),
      Frame3(Add<Frame>(u"Frame3")),
      Pic1(Add<PictureBox>(u"Pic1")),
      FamGz(Add<Frame>(u"FamGz")),
      LstGz(Add<ListBox>(u"LstGz")),
      famDetail(Add<Frame>(u"famDetail")),
      vsfGrid(Add<Grid>(u"vsfGrid", 10, 6)),
      StatusBar1(Add<StatusBar>(u"StatusBar1")) {
    caption = u"条形码分析信息";
    clientWidth = 8565;
    clientHeight = 6765;
    font.points = 10.5;
    keyPreview = true;

    Tlb.rect = {0, 0, 8565, 555};
    Tlb.tabIndex = 3;
    Tlb.imageCount = 6;
    Tlb.buttons = {
        {kDefine, kDefine, 1, false}, {kAmend, kAmend, 2, false}, {kDelete, kDelete, 3, false},
        {u"", u"", 0, true},          {kExit, kExit, 6, false},
    };
    Frame3.rect = {-30, 570, 8655, 60};
    Frame3.tabIndex = 2;
    Pic1.rect = {-2490, 630, 11055, 600};
    Pic1.tabIndex = 5;
    Pic1.pictureWidthPx = 737;
    Pic1.pictureHeightPx = 40;
    FamGz.rect = {0, 1260, 1935, 5115};
    FamGz.tabIndex = 0;
    FamGz.SetCaption(u"规则名称");
    FamGz.font.points = 9;
    LstGz.font.points = 9;
    famDetail.font.points = 9;
    Frame3.SetCaption(u"");
    LstGz.container = u"FamGz";
    LstGz.rect = {60, 180, 1815, 4890};
    LstGz.tabIndex = 7;
    famDetail.rect = {1980, 1260, 6555, 5115};
    famDetail.tabIndex = 1;
    famDetail.SetCaption(u"条形码分析明细");
    vsfGrid.container = u"famDetail";
    vsfGrid.rect = {60, 240, 6435, 4815};
    vsfGrid.tabIndex = 4;
    vsfGrid.font.points = 10.5;
    StatusBar1.rect = {0, 6390, 8565, 375};
    StatusBar1.tabIndex = 8;
    StatusBar1.panelText = u"Enter → 回车 | F3 → 修改 | Del → 删除 | Esc → 退出 |";

    LstGz.Click = [this] { LstGz_Click(); };
    Tlb.ButtonClick = [this](const ToolbarButton& b) { Tlb_ButtonClick(b); };
}

void FillRuleList(FrmTXM& frm) {
    auto& m = Module();
    try {
        frm.LstGz.Clear();
        m.SqlText = u"select gzid,gzname from txm_Gzzb";
        m.DbRs = OpenReadOnlyRs(m.SqlText);
        if (!m.DbRs) err::Raise(err::kObjectNotSet);
        if (m.DbRs->RecordCount() > 0) {
            for (m.DbRs->MoveFirst(); !m.DbRs->Eof(); m.DbRs->MoveNext()) {
                frm.LstGz.AddItem(FieldText(m.DbRs->Fields(u"gzid").Value) + u"|" +
                                  FieldText(m.DbRs->Fields(u"gzname").Value));
            }
            frm.LstGz.SetListIndex(0);
        }
        m.DbRs->Close();
    } catch (...) {
        bool noTransaction = false;
        FailChange(u"\n添加列表失败,请与管理员联系！", mb::kExclamation, u"提示:", noTransaction);
    }
}

void FrmTXM::Form_Load() {
    FillRuleList(*this);
    if (LstGz.Text().empty()) ShowRuleLevels(u"");
}

void FrmTXM::Form_Unload() {
    auto& m = Module();
    if (m.DbRs && m.DbRs->State() == kStateOpen) m.DbRs->Close();
    m.DbRs.reset();
    released_ = true;
}

void FrmTXM::LstGz_Click() {
    if (LstGz.ListCount() < 1) {
        ShowRuleLevels(u"");
    } else {
        ShowRuleLevels(GetListPart(LstGz.Text(), u"|", 0));
    }
}

void FrmTXM::ShowRuleLevels(const std::u16string& ruleId) {
    auto& m = Module();
    if (!ruleId.empty()) {
        // Noted before the grid is read: a change in between then refuses a deletion.
        shownRule_ = ruleId;
        try {
            shownVersion_ = ReadRuleVersion(DbConn(), ruleId);
        } catch (...) {
            shownVersion_ = RuleVersion::Unknown();  // a deletion is then refused
            ReportRsFailure(DescribeCurrentException());
        }
    }
    m.SqlText = LevelGridSql(ruleId, true);
    vsfGrid.SetDataSource(OpenEditableRs(m.SqlText));
}

FrmDefine& FrmTXM::EditorWindow() {
    if (!frmDefine_) frmDefine_ = std::make_unique<FrmDefine>();
    return *frmDefine_;
}

void FrmTXM::ShowEditor() {
    CurrentWindowHost().ShowModal(*frmDefine_);
    if (frmDefine_->Released()) frmDefine_.reset();
}

void FrmTXM::Tlb_ButtonClick(const ToolbarButton& button) {
    const std::u16string& k = button.key;
    if (k == kDefine) {
        EditorWindow().NewRuleMode = true;
        ShowEditor();
        FillRuleList(*this);
    } else if (k == kDelete) {
        std::u16string ruleId = GetListPart(LstGz.Text(), u"|", 0);
        refused_.clear();
        DeleteRule(ruleId);
        FillRuleList(*this);
        if (refused_.empty()) {
            ShowRuleLevels(u"");
        } else {
            SelectRule(refused_);  // the rule as it is stored now
        }
    } else if (k == kAmend) {
        std::u16string ruleId = GetListPart(LstGz.Text(), u"|", 0);
        EditorWindow().NewRuleMode = false;
        EditorWindow().Gzid(FieldValue::Text(ruleId));
        ShowEditor();
        FillRuleList(*this);
    } else if (k == kExit) {
        Unload();
    }
}

void FrmTXM::SelectRule(const std::u16string& ruleId) {
    for (int32_t i = 0; i < LstGz.ListCount(); ++i) {
        if (EqualsNoCase(GetListPart(LstGz.List(i), u"|", 0), ruleId)) {
            LstGz.SetListIndex(i);
            return;
        }
    }
}

void FrmTXM::Form_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    switch (keyCode) {
        case key::kEnter:
            Tlb_ButtonClick(Tlb.Button(kDefine));
            break;
        case key::kEsc:
            Unload();
            break;
        case key::kF3:
            Tlb_ButtonClick(Tlb.Button(kAmend));
            break;
        case key::kDelete:
            Tlb_ButtonClick(Tlb.Button(kDelete));
            break;
        default:
            break;
    }
}

void FrmTXM::DeleteRule(const std::u16string& ruleId) {
    auto& m = Module();
    bool transactionOpen = false;
    try {
        if (ruleId.empty()) return;
        const std::u16string question =
            u"您确定要删除规则编号为[" + ruleId + u"]的所有数据吗？[Y/N]";
        if (MsgBox(question, mb::kYesNo + mb::kQuestion + mb::kDefaultButton2, u"系统提示") !=
            mb::kYes) {
            return;
        }
        // The rule's write lock first, then the rule as stored must still be the one shown.
        BeginRuleChange(DbConn(), {ruleId});
        transactionOpen = true;
        const RuleVersion shown =
            EqualsNoCase(ruleId, shownRule_) ? shownVersion_ : RuleVersion::Unknown();
        if (ReadRuleVersion(DbConn(), ruleId) != shown) {
            refused_ = ruleId;
            RefuseChangedElsewhere(ruleId, transactionOpen);
            return;
        }
        m.SqlText = u"delete txm_gzzb where gzid=" + SqlQuote(ruleId);
        DbConn().Execute(m.SqlText);
        m.SqlText = u"delete txm_gzmx where gzid=" + SqlQuote(ruleId);
        DbConn().Execute(m.SqlText);
        DbConn().CommitTrans();
        transactionOpen = false;
    } catch (...) {
        FailChange(u"删除失败!", mb::kExclamation, u"系统提示", transactionOpen, {ruleId});
    }
}

}  // namespace quorvel::ui
