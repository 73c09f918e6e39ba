// Procedures that serve the editor window: selecting a field's whole text on entry, and the
// record picker from which the category lookup takes a category.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "store/value.h"
#include "ui/form.h"

namespace quorvel::ui {

void SelectAllText(TextBox& box);

// The failure path the windows' changes share, for a catch block: the current failure is shown
// with the change's own message after it, the shared recordset is released and a transaction
// still open is rolled back. None of it fails in turn. The rollback comes before the box, so
// that no lock of the change is held while the box waits for the user.
// A change of rules names them: a wait that ran out is then said as the rules being changed
// elsewhere (rule_guard.h).
void FailChange(const std::u16string& message, int buttons, const std::u16string& title,
                bool& transactionOpen, const std::vector<std::u16string>& ruleIds = {}) noexcept;
// A change refused because another user changed the rule since this window showed it: the
// transaction still open is rolled back (nothing was written), and the box names the rule. The
// caller then shows the rule as stored.
void RefuseChangedElsewhere(const std::u16string& ruleId, bool& transactionOpen) noexcept;
// Rolls back a transaction still open; a connection that is gone has abandoned it itself.
void RollBackIfOpen(bool& transactionOpen) noexcept;

// The family of the segment categories in the category table (glsx.fid), as statement text.
inline constexpr char16_t kSegmentCategories[] = u"1006";

// The level grid's statement for one rule, in the browser and in the editor. The browser names
// the rule column by its table's alias (qualified), the editor by the column alone.
std::u16string LevelGridSql(const std::u16string& ruleId, bool qualified);

// What the record picker hands back: a single value, or an array indexed from 0. The category
// lookup reads an array of three: a number > 0 when a row was chosen, its first and its second
// column.
using PickValue = std::variant<FieldValue, std::vector<FieldValue>>;

// The list-selection dialog: given a connection string, a statement and an option, it shows the
// statement's rows and returns the user's choice.
class RecordPicker {
  public:
    virtual ~RecordPicker() = default;
    virtual void SetConnString(const std::u16string& connString) = 0;
    virtual void SetSql(const std::u16string& sql) = 0;
    virtual void SetOption(int16_t option) = 0;
    virtual void Show() = 0;  // returns when the user has closed the dialog
    virtual PickValue Result() const = 0;
};

// Creates the picker objects of the calling thread; an empty factory restores the default,
// for which no picker exists (creating one fails).
using RecordPickerFactory = std::function<std::unique_ptr<RecordPicker>()>;
void SetRecordPickerFactory(RecordPickerFactory factory);

// Catches nothing: a failure of the picker reaches the caller.
PickValue PickRecord(const std::u16string& sql, int16_t& option);

}  // namespace quorvel::ui
