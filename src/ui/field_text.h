// How the windows turn field values into the texts they show.
#pragma once

#include <string>

#include "store/value.h"

namespace quorvel::ui {

// A database Null shows as the empty text.
std::u16string FieldText(const FieldValue& v);

// A looked-up maximum plus one, as text: "0" and an empty value both count as 0.
std::u16string PlusOne(const FieldValue& v);

}  // namespace quorvel::ui
