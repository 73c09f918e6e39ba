#include "ui/field_text.h"

namespace quorvel::ui {

std::u16string PlusOne(const FieldValue& v) {
    return FormatReal(v.ToDouble() + 1);
}

}  // namespace quorvel::ui
