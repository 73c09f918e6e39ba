// The category id field of the editor: Enter looks the typed id up, or offers every segment
// category when the field is empty; an empty field keeps the focus.
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "ui/frm_define.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

constexpr long kSubscriptOutOfRange = 9;

const FieldValue& Element(const PickValue& v, size_t index) {
    const auto* array = std::get_if<std::vector<FieldValue>>(&v);
    if (!array) err::Raise(err::kTypeMismatch);
    if (index >= array->size()) throw DbError(kSubscriptOutOfRange, u"Subscript out of range");
    return (*array)[index];
}

// A step of the lookup: a failure skips it and the next one runs.
template <typename F>
void Step(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

}  // namespace

void FrmDefine::txtClassId_GotFocus() {
    SelectAllText(txtClassId);
}

void FrmDefine::txtClassId_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    if (keyCode == key::kEnter) {
        LookUpCategory();
        NextField();
    } else if (keyCode == key::kDown) {
        NextField();
    } else if (keyCode == key::kUp) {
        PreviousField();
    }
}

void FrmDefine::LookUpCategory() {
    auto& m = Module();
    PickValue pick;
    Step([&] {
        if (txtClassId.Text().empty()) {
            m.SqlText = u"select id as 编号,name as 名称 from glsx where fid=" +
                        std::u16string(kSegmentCategories);
        } else {
            m.SqlText = u"select id as 编号,name as 名称 from glsx where id=" +
                        SqlQuote(txtClassId.Text()) + u" and fid=" + kSegmentCategories;
        }
    });
    Step([&] {
        int16_t mode = 0;
        pick = PickRecord(m.SqlText, mode);
    });
    bool chosen = false;
    Step([&] { chosen = Element(pick, 0).ToDouble() > 0; });
    if (!chosen) return;
    Step([&] { txtClassId.SetText(Element(pick, 1).ToText()); });
    Step([&] { txtClassName.SetText(Element(pick, 2).ToText()); });
}

void FrmDefine::txtClassId_LostFocus() {
    if (txtClassId.Text().empty()) txtClassId.SetFocus();
}

}  // namespace quorvel::ui
