// How the windows turn field values into the texts they show; FieldText itself lives beside the
// field values in the store.
#pragma once

#include <string>

#include "store/value.h"

namespace quorvel::ui {

// A looked-up maximum plus one, as text: "0" and an empty value both count as 0.
std::u16string PlusOne(const FieldValue& v);

}  // namespace quorvel::ui
