#include "ui/frm_define.h"

#include "service/gs1.h"
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "ui/field_text.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

template <typename C>
C& Place(C& c, Twips r, int16_t tab) {
    c.rect = r;
    c.tabIndex = tab;
    return c;
}

Label& MakeLabel(Label& l, std::u16string caption, int32_t left, int32_t top, int32_t width,
                 int16_t tab) {
    l.SetCaption(std::move(caption));
    l.rect = {left, top, width, 210};
    l.tabIndex = tab;
    l.font.points = 10.5;
    return l;
}

void Computed(NumericBox& box) {
    box.SetEnabled(false);
    box.backColor = color::kLightYellow;
}

}  // namespace

FrmDefine::FrmDefine()
    : Window(u"FrmDefine"),
      TxtGZID(Add<TextBox>(u"TxtGZID")),
      TxtGZName(Add<TextBox>(u"TxtGZName")),
      txtDnmid(Add<TextBox>(u"txtDnmid")),
      txtClassId(Add<TextBox>(u"txtClassId")),
      txtEndWs(Add<NumericBox>(u"txtEndWs")),
      txtXsWs(Add<NumericBox>(u"txtXsWs")),
      CmdSave(Add<CommandButton>(u"CmdSave")),
      txtTxmWS(Add<NumericBox>(u"txtTxmWS")),
      txtStartWs(Add<NumericBox>(u"txtStartWs")),
      vsfGrid(Add<Grid>(u"vsfGrid", 1, 6)),
      txtClassName(Add<TextBox>(u"txtClassName")),
      LblLBName(Add<Label>(u"LblLBName")),
      LblGZID(Add<Label>(u"LblGZID")),
      LblGZName(Add<Label>(u"LblGZName")),
      LblDnmid(Add<Label>(u"LblDnmid")),
      LblTxmWS(Add<Label>(u"LblTxmWS")),
      Lbllx0(Add<Label>(u"Lbllx(0)")),
      Lbllx21(Add<Label>(u"Lbllx(21)")),
      Lbllx22(Add<Label>(u"Lbllx(22)")),
      Frame1(Add<Frame>(u"Frame1")),
      StatusBar1(Add<StatusBar>(u"StatusBar1")),
      TmrLoad(Add<Timer>(u"TmrLoad")),
      tmrAmendLoad(Add<Timer>(u"tmrAmendLoad")),
      txtAi(Add<TextBox>(u"txtAi")),
      txtAiName(Add<TextBox>(u"txtAiName")),
      LblAi(Add<Label>(u"LblAi")) {
    caption = u"自定义条形码";
    clientWidth = 7575;
    clientHeight = 5235;
    font.points = 10.5;
    keyPreview = true;

    for (TextBox* t : {&TxtGZID, &TxtGZName, &txtDnmid, &txtClassId, &txtClassName}) {
        t->font.points = 10.5;
    }
    Place(TxtGZID, {1560, 120, 1935, 315}, 1);
    Place(TxtGZName, {5280, 120, 1935, 315}, 2);
    Place(txtDnmid, {1560, 510, 1935, 315}, 3);
    Place(txtClassId, {1230, 1050, 555, 285}, 4);
    Place(txtEndWs, {6030, 1050, 855, 285}, 5);
    Place(txtXsWs, {1230, 1410, 1485, 285}, 6);
    Place(CmdSave, {6030, 1410, 855, 315}, 7);
    Place(txtTxmWS, {5280, 510, 1935, 315}, 9);
    Place(txtStartWs, {3900, 1050, 855, 285}, 13);
    Place(vsfGrid, {30, 1830, 7515, 2835}, 17);
    Place(txtClassName, {1800, 1050, 945, 285}, 19);

    CmdSave.SetCaption(u"保存");
    CmdSave.font.points = 10.5;
    txtEndWs.SetText(u"0");
    txtXsWs.SetText(u"0");
    txtXsWs.backColor = color::kWhite;
    txtTxmWS.SetText(u"0");
    Computed(txtTxmWS);
    txtStartWs.SetText(u"1");
    txtStartWs.min = 1;
    Computed(txtStartWs);
    txtClassName.SetEnabled(false);
    txtClassName.backColor = color::kLightYellow;
    // The decimals row has room between the decimals and the save button. Tab passes the AI
    // field by, so that the keys of a position level, which staff type blind, are unchanged.
    Place(txtAi, {3900, 1410, 630, 285}, 21).tabStop = false;
    Place(txtAiName, {4545, 1410, 1440, 285}, 22);
    txtAiName.SetEnabled(false);
    txtAiName.backColor = color::kLightYellow;
    txtAi.font.points = 10.5;
    txtAiName.font.points = 9;  // so that a title such as NET WEIGHT (kg) fits

    MakeLabel(LblLBName, u"第 1 级:", 210, 1110, 975, 8);
    MakeLabel(LblGZID, u"规则编号:", 240, 180, 1215, 10);
    MakeLabel(LblGZName, u"规则名称:", 3720, 180, 1215, 11);
    MakeLabel(LblDnmid, u"店内码编号:", 240, 570, 1305, 12);
    MakeLabel(LblTxmWS, u"条形码总位数:", 3720, 555, 1515, 14);
    MakeLabel(Lbllx0, u"小数位数:", 180, 1470, 1005, 15);
    MakeLabel(Lbllx21, u"开始位数:", 2940, 1110, 945, 16);
    MakeLabel(Lbllx22, u"结束位数:", 5070, 1110, 945, 18);
    MakeLabel(LblAi, u"GS1 AI(F6):", 2760, 1470, 1125, 23);
    Frame1.rect = {0, 900, 7515, 75};
    Frame1.tabIndex = 0;
    StatusBar1.rect = {0, clientHeight - 375, clientWidth, 375};
    StatusBar1.tabIndex = 20;
    StatusBar1.panelText =
        u"F3 或 双击 → 修改 | F4 → 明细可上下选择 | F5 → 测试 | Delete → 删除明细信息 |  ESC → "
        u"退出 ";
    // With F5 the line is 95 half-width characters: 570 pixels at 9 points in a window 505
    // wide, which would cut off the Esc key.
    StatusBar1.font.points = 8;

    TmrLoad.SetEnabled(false);
    TmrLoad.interval = 1;
    tmrAmendLoad.SetEnabled(true);
    tmrAmendLoad.interval = 0;

    TmrLoad.Tick = [this] { TmrLoad_Timer(); };
    tmrAmendLoad.Tick = [this] { tmrAmendLoad_Timer(); };
    TxtGZID.GotFocus = [this] { TxtGZID_GotFocus(); };
    TxtGZID.KeyDown = [this](int16_t& k, int16_t s) { TxtGZID_KeyDown(k, s); };
    TxtGZName.GotFocus = [this] { TxtGZName_GotFocus(); };
    TxtGZName.KeyDown = [this](int16_t& k, int16_t s) { TxtGZName_KeyDown(k, s); };
    txtDnmid.GotFocus = [this] { txtDnmid_GotFocus(); };
    txtDnmid.KeyDown = [this](int16_t& k, int16_t s) { txtDnmid_KeyDown(k, s); };
    txtClassId.GotFocus = [this] { txtClassId_GotFocus(); };
    txtClassId.KeyDown = [this](int16_t& k, int16_t s) { txtClassId_KeyDown(k, s); };
    txtClassId.LostFocus = [this] { txtClassId_LostFocus(); };
    txtEndWs.KeyDown = [this](int16_t& k, int16_t s) { txtEndWs_KeyDown(k, s); };
    txtXsWs.KeyDown = [this](int16_t& k, int16_t s) { txtXsWs_KeyDown(k, s); };
    CmdSave.KeyDown = [this](int16_t& k, int16_t s) { CmdSave_KeyDown(k, s); };
    txtAi.GotFocus = [this] { txtAi_GotFocus(); };
    txtAi.KeyDown = [this](int16_t& k, int16_t s) { txtAi_KeyDown(k, s); };
    txtAi.LostFocus = [this] { ShowAiTitle(); };
    CmdSave.Click = [this] { CmdSave_Click(); };
    vsfGrid.DblClick = [this] { vsfGrid_DblClick(); };
}

void FrmDefine::Gzid(const FieldValue& value) {
    CurGzid = value.ToText();
}

void FrmDefine::Form_Load() {
    // An editor shown again after it was closed while amending has no level loaded any more.
    LevelAmendMode = false;
    LoadRule(CurGzid);
}

void FrmDefine::Form_Unload() {
    released_ = true;
}

void FrmDefine::LoadRule(const std::u16string& R) {
    auto& m = Module();
    // Noted before the fields are read: a change that comes in between then refuses the next
    // save, rather than letting it write over what the fields do not show.
    NoteShownRule(R);
    if (!R.empty()) {
        m.SqlText = u"select * from txm_gzzb where gzid=" + SqlQuote(R);
        m.DbRs = OpenReadOnlyRs(m.SqlText);
        // A failed query has been reported already; the header fields then keep what they have.
        if (m.DbRs) {
            if (m.DbRs->RecordCount() > 0) {
                TxtGZID.SetText(FieldText(m.DbRs->Fields(u"gzid").Value));
                TxtGZName.SetText(FieldText(m.DbRs->Fields(u"gzname").Value));
                txtDnmid.SetText(FieldText(m.DbRs->Fields(u"dnmid").Value));
                txtTxmWS.SetText(FieldText(m.DbRs->Fields(u"txmzws").Value));
            }
            m.DbRs->Close();
        }

        m.SqlText = u"select max(js) as MaxJs from txm_gzmx where gzid=" + SqlQuote(R);
        LblLBName.SetCaption(u"第 " + PlusOne(GetFieldValue(m.SqlText, u"MaxJs")) + u" 级");

        m.SqlText = u"select max(endws) as MaxWs from txm_gzmx where gzid=" + SqlQuote(R);
        txtStartWs.SetText(PlusOne(GetFieldValue(m.SqlText, u"Maxws")));

        if (NewRuleMode) {
            TxtGZID.SetEnabled(true);
            TmrLoad.SetEnabled(true);
        } else {
            TxtGZID.SetEnabled(false);  // a stored rule's id cannot be changed
            tmrAmendLoad.SetEnabled(true);
        }
    }
    FillLevelGrid(R);
}

void FrmDefine::NoteShownRule(const std::u16string& R) {
    shownRule_ = R;
    try {
        shownVersion_ = R.empty() ? RuleVersion() : ReadRuleVersion(DbConn(), R);
    } catch (...) {
        // A save is then refused as if the rule had changed, and shows the rule again.
        shownVersion_ = RuleVersion::Unknown();
        ReportRsFailure(DescribeCurrentException());
    }
}

bool FrmDefine::StoredAsShown(const std::u16string& ruleId) {
    const RuleVersion expected = EqualsNoCase(ruleId, shownRule_) ? shownVersion_ : RuleVersion();
    return ReadRuleVersion(DbConn(), ruleId) == expected;
}

void FrmDefine::ShowStoredRule(const std::u16string& R) {
    LoadRule(R);
    if (LevelAmendMode && !ShowLevel(CurGzid, CurJs)) EndLevelAmend();
}

void FrmDefine::FillLevelGrid(const std::u16string& R) {
    auto& m = Module();
    m.SqlText = LevelGridSql(R, false);
    vsfGrid.SetDataSource(OpenEditableRs(m.SqlText));
}

void FrmDefine::TmrLoad_Timer() {
    // Focus can only be placed once the window is visible, hence the one-shot timer.
    if (TxtGZID.Enabled()) TxtGZID.SetFocus();
    TmrLoad.SetEnabled(false);
}

void FrmDefine::tmrAmendLoad_Timer() {
    // Designed without an interval, so it never ticks; kept for a binder that gives it one.
    tmrAmendLoad.SetEnabled(false);
    if (TxtGZName.Enabled()) TxtGZName.SetFocus();
}

void FrmDefine::vsfGrid_DblClick() {
    if (vsfGrid.Rows() < 2) return;
    std::u16string rule = vsfGrid.TextMatrix(vsfGrid.Row(), 1);
    int16_t level = FieldValue::Text(vsfGrid.TextMatrix(vsfGrid.Row(), 2)).ToInt16();
    LoadLevel(rule, level);
}

void FrmDefine::LoadLevel(const std::u16string& R, int16_t N) {
    if (!ShowLevel(R, N)) return;
    TxtGZID.SetEnabled(false);
    // A GS1 level is amended by its AI; it has no end to type.
    if (loadedGs1_) {
        txtAi.SetFocus();
    } else {
        txtEndWs.SetFocus();
    }
    LevelAmendMode = true;
}

bool FrmDefine::ShowLevel(const std::u16string& R, int16_t N) {
    auto& m = Module();
    m.SqlText =
        u"select a.gzid,isnull(a.js,0) as js,isnull(a.startws,0) as startws,isnull(a.endws,0) as "
        u"endws,a.lbid,b.Name,c.dnmid,isnull(a.xsws,0) as xsws "
        u"from txm_gzmx a inner join txm_gzzb c on a.gzid=c.gzid inner join (select * from glsx "
        u"where fid=" +
        std::u16string(kSegmentCategories) + u") b on a.lbid=b.id where a.gzid=" + SqlQuote(R) +
        u" and js=" + ToU16(N);
    m.DbRs = OpenReadOnlyRs(m.SqlText);
    // Another user may have deleted the level since the grid was filled: then there is nothing
    // to amend, and entering the amend state would make the next save "amend" a missing row.
    if (!m.DbRs || m.DbRs->RecordCount() == 0) return false;

    const Recordset& rs = *m.DbRs;
    // Everything is read and converted before anything is shown, so that a value that does
    // not fit leaves the fields and the state as they were.
    std::u16string js = FieldText(rs.Fields(u"js").Value);
    std::u16string lbid = FieldText(rs.Fields(u"lbid").Value);
    std::u16string name = FieldText(rs.Fields(u"Name").Value);
    std::u16string startws = FieldText(rs.Fields(u"startws").Value);
    std::u16string endws = FieldText(rs.Fields(u"endws").Value);
    std::u16string xsws = FieldText(rs.Fields(u"xsws").Value);
    int16_t oldEnd = rs.Fields(u"endws").Value.ToInt16();
    int16_t curJs = rs.Fields(u"js").Value.ToInt16();
    std::u16string gzid = FieldText(rs.Fields(u"gzid").Value);
    // A GS1 level keeps its AI in the remark, read as a till reads it: only at positions 0 to -1.
    std::u16string ai;
    if (startws == u"0" && endws == u"-1") {
        const std::u16string remark = FieldText(GetFieldValue(
            u"select bz from txm_gzmx where gzid=" + SqlQuote(gzid) + u" and js=" + js, u"bz"));
        gs1::LevelSpec marked;
        if (gs1::ReadMarker(remark, marked)) ai = remark.substr(4);
    }

    LblLBName.SetCaption(u"第 " + js + u" 级");
    // The amend statements rename the level's rule to what the id field says: the field must
    // show the level's own rule, or a retyped id would take part of the rule away with it.
    TxtGZID.SetText(gzid);
    txtClassId.SetText(lbid);
    txtClassName.SetText(name);
    txtStartWs.SetText(startws);
    txtEndWs.SetText(endws);
    txtXsWs.SetText(xsws);
    txtAi.SetText(ai);
    ShowAiTitle();
    loadedGs1_ = !ai.empty();
    OldEndWs = oldEnd;
    CurJs = curJs;
    CurGzid = gzid;
    return true;
}

// ---- Keyboard

void FrmDefine::Form_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    switch (keyCode) {
        case key::kEsc:
            Unload();
            break;
        case key::kF3:
            vsfGrid_DblClick();
            break;
        case key::kF4:
            vsfGrid.SetFocus();
            break;
        case key::kF5:
            ShowTest();
            break;
        case key::kF6:
            if (txtAi.CanFocus()) txtAi.SetFocus();
            break;
        case key::kDelete:
            DeleteLevel();
            break;
        default:
            break;
    }
}

void FrmDefine::FieldKeys(int16_t keyCode) {
    if (keyCode == key::kEnter || keyCode == key::kDown)
        NextField();
    else if (keyCode == key::kUp)
        PreviousField();
}

void FrmDefine::TxtGZID_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    if (keyCode == key::kEnter || keyCode == key::kDown) NextField();
}
void FrmDefine::TxtGZName_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    FieldKeys(keyCode);
}
void FrmDefine::txtDnmid_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    FieldKeys(keyCode);
}
void FrmDefine::txtEndWs_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    FieldKeys(keyCode);
}
void FrmDefine::txtXsWs_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    FieldKeys(keyCode);
}
void FrmDefine::CmdSave_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    // Enter is the button's own: a focused button is pressed by it.
    if (keyCode == key::kUp) PreviousField();
}

void FrmDefine::TxtGZID_GotFocus() {
    SelectAllText(TxtGZID);
}
void FrmDefine::TxtGZName_GotFocus() {
    SelectAllText(TxtGZName);
}
void FrmDefine::txtDnmid_GotFocus() {
    SelectAllText(txtDnmid);
}

}  // namespace quorvel::ui
