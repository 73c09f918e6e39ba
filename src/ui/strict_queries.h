// Lookups for use inside a change's transaction. The reporting helpers of the store show a
// failure and hand back 0 or no result, and a change that carried on with that would commit a
// wrong total or level number; these let the failure through to the change's own handler, which
// rolls everything back. Results and defaults are those of the reporting helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/value.h"

namespace quorvel::ui {

std::shared_ptr<Recordset> QueryReadOnly(const std::u16string& sql);
std::shared_ptr<Recordset> QueryEditable(const std::u16string& sql);
FieldValue QueryFieldValue(const std::u16string& sql, std::u16string_view fieldName);
int16_t QueryRecordCount(const std::u16string& sql);

}  // namespace quorvel::ui
