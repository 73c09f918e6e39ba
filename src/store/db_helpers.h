// The module procedures through which the analyser and the windows open the shared connection
// and read the rule tables. Each catches its own failures, shows them and returns a harmless
// value, so that its caller carries on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/value.h"

namespace quorvel {

bool OpenConnection(const std::u16string& connString);
void CloseConnection() noexcept;
FieldValue GetFieldValue(const std::u16string& sql, std::u16string_view fieldName);
int16_t GetRecordCount(const std::u16string& sql);
std::shared_ptr<Recordset> OpenReadOnlyRs(const std::u16string& sql);
std::shared_ptr<Recordset> OpenEditableRs(const std::u16string& sql);
std::u16string GetListPart(std::u16string_view text, std::u16string_view delimiter, int16_t index);
// The box with which OpenReadOnlyRs and OpenEditableRs report a failure.
void ReportRsFailure(const std::u16string& description);

// The same lookups without a failure handling of their own: a failure is thrown to the caller.
// A change inside a transaction uses these, since carrying on with a harmless 0 would commit a
// wrong total or level number; its own handler reports the failure and rolls everything back.
std::shared_ptr<Recordset> QueryReadOnly(const std::u16string& sql);
std::shared_ptr<Recordset> QueryEditable(const std::u16string& sql);
FieldValue QueryFieldValue(const std::u16string& sql, std::u16string_view fieldName);
int16_t QueryRecordCount(const std::u16string& sql);

}  // namespace quorvel
