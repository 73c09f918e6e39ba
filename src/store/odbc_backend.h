// The ODBC backend: any database the platform's driver manager reaches (SQL Server on Windows,
// unixODBC drivers on Linux), with the driver manager's connection pooling turned on.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/backend.h"

namespace quorvel {

// Returns nullptr for strings that name a provider ODBC does not stand in for; throws DbError
// when the open fails, with the driver's first diagnostic (never a password) as the description.
std::unique_ptr<Backend> OpenOdbcBackend(const ConnString& cs, std::u16string_view raw,
                                         int timeoutSeconds, int commandTimeoutSeconds);

// The driver names the driver manager knows.
std::vector<std::u16string> InstalledOdbcDrivers();

}  // namespace quorvel
