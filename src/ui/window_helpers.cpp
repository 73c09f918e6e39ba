#include "ui/window_helpers.h"

#include "store/error.h"
#include "store/module_state.h"

namespace quorvel::ui {

namespace {
constexpr long kCannotCreateObject = 429;
thread_local RecordPickerFactory tPickerFactory;
}  // namespace

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
