// The record picker as a window of our own: the statement's rows in a grid, chosen by Enter, a
// double click or the OK button, given up by Esc, the Cancel button or the close box. The
// native binder shows it like any other modal window; tests drive it through the model.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/connection.h"
#include "ui/form.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

class FrmPicker : public Window {
  public:
    FrmPicker();

    Grid& vsfList;
    CommandButton& CmdOK;
    CommandButton& CmdCancel;
    StatusBar& StatusBar1;

    // Binds the rows offered; the first data row becomes the current one.
    void SetRows(const std::shared_ptr<Recordset>& rs);
    // The current row's first two cells, once the user has chosen; nothing after giving up.
    bool Chosen() const { return chosen_; }
    int32_t ChosenRow() const { return chosenRow_; }

    void Choose();
    void GiveUp();

  protected:
    void Form_Load() override;
    void Form_KeyDown(int16_t& keyCode, int16_t shift) override;

  private:
    bool chosen_ = false;
    int32_t chosenRow_ = -1;
};

// The picker objects that PickRecord creates. The statement runs on a connection of the
// picker's own, opened with the connection string it is given. No rows: the user is not asked
// and nothing is chosen. A single row (a typed id looked up): it is chosen without asking.
// Otherwise the dialog is shown modally on the calling thread's window host.
class DialogRecordPicker final : public RecordPicker {
  public:
    void SetConnString(const std::u16string& connString) override { connString_ = connString; }
    void SetSql(const std::u16string& sql) override { sql_ = sql; }
    void SetOption(int16_t option) override { option_ = option; }
    void Show() override;
    // An array of three: 1 and the chosen row's first and second column, or 0 and two empty
    // texts when nothing was chosen.
    PickValue Result() const override;

  private:
    std::u16string connString_;
    std::u16string sql_;
    int16_t option_ = 0;
    bool chosen_ = false;
    FieldValue id_ = FieldValue::Text(u"");
    FieldValue name_ = FieldValue::Text(u"");
};

}  // namespace quorvel::ui
