#include "ui/picker_dialog.h"

#include "store/error.h"

namespace quorvel::ui {

FrmPicker::FrmPicker()
    : Window(u"FrmPicker"),
      vsfList(Add<Grid>(u"vsfList", 1, 3)),
      CmdOK(Add<CommandButton>(u"CmdOK")),
      CmdCancel(Add<CommandButton>(u"CmdCancel")),
      StatusBar1(Add<StatusBar>(u"StatusBar1")) {
    caption = u"请选择";
    clientWidth = 5400;
    clientHeight = 4500;
    font.points = 10.5;
    keyPreview = true;

    vsfList.rect = {60, 60, 5280, 3480};
    vsfList.tabIndex = 0;
    vsfList.font.points = 10.5;
    CmdOK.rect = {2880, 3630, 1155, 375};
    CmdOK.tabIndex = 1;
    CmdOK.SetCaption(u"确定");
    CmdOK.font.points = 10.5;
    CmdCancel.rect = {4185, 3630, 1155, 375};
    CmdCancel.tabIndex = 2;
    CmdCancel.SetCaption(u"取消");
    CmdCancel.font.points = 10.5;
    StatusBar1.rect = {0, clientHeight - 375, clientWidth, 375};
    StatusBar1.tabIndex = 3;
    StatusBar1.panelText = u"Enter 或 双击 → 选择 | Esc → 取消";

    CmdOK.Click = [this] { Choose(); };
    CmdCancel.Click = [this] { GiveUp(); };
    vsfList.DblClick = [this] { Choose(); };
}

void FrmPicker::SetRows(const std::shared_ptr<Recordset>& rs) {
    vsfList.SetDataSource(rs);
}

void FrmPicker::Form_Load() {
    chosen_ = false;
    chosenRow_ = -1;
}

void FrmPicker::Choose() {
    if (vsfList.Row() < 1) return;  // header only: nothing to choose
    chosen_ = true;
    chosenRow_ = vsfList.Row();
    Unload();
}

void FrmPicker::GiveUp() {
    chosen_ = false;
    chosenRow_ = -1;
    Unload();
}

void FrmPicker::Form_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    if (keyCode == key::kEnter) {
        // Enter on the Cancel button is that button's press, not a choice.
        if (Focused() == &CmdCancel) {
            GiveUp();
        } else {
            Choose();
        }
        keyCode = 0;
    } else if (keyCode == key::kEsc) {
        GiveUp();
        keyCode = 0;
    }
}

void DialogRecordPicker::Show() {
    chosen_ = false;
    id_ = FieldValue::Text(u"");
    name_ = FieldValue::Text(u"");

    auto conn = std::make_shared<Connection>();
    conn->Open(connString_);
    auto rs = std::make_shared<Recordset>();
    rs->CursorLocation = kUseClient;
    rs->Open(sql_, conn, kOpenStatic, kLockReadOnly, kCmdText);
    if (rs->Columns().size() < 2) {
        conn->Close();
        err::Raise(err::kItemNotFound);  // the second column the caller reads is missing
    }
    const long count = rs->RecordCount();
    int32_t row = -1;
    if (count == 1) {
        row = 1;
    } else if (count > 1) {
        FrmPicker dialog;
        dialog.SetRows(rs);
        CurrentWindowHost().ShowModal(dialog);
        if (dialog.Chosen()) row = dialog.ChosenRow();
    }
    if (row >= 1) {
        rs->MoveFirst();
        for (int32_t i = 1; i < row && !rs->Eof(); ++i) rs->MoveNext();
        if (!rs->Eof()) {
            id_ = rs->Value(0);
            name_ = rs->Value(1);
            chosen_ = true;
        }
    }
    rs->Close();
    conn->Close();
}

PickValue DialogRecordPicker::Result() const {
    return std::vector<FieldValue>{FieldValue::I16(chosen_ ? 1 : 0), id_, name_};
}

}  // namespace quorvel::ui
