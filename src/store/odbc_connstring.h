// Hosts hand over connection strings written for their own data-access layer: OLE DB style
// strings for SQL Server, ODBC strings (through the ODBC provider, a DSN or a driver), or the
// embedded store's. This turns each into what the ODBC driver manager takes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/connstring.h"

namespace quorvel {

struct OdbcConnect {
    std::u16string connect;           // for SQLDriverConnect
    std::optional<int> loginTimeout;  // the host string's own Connect Timeout, when it has one
};

enum class OdbcPlatform { Windows, Linux };

// The SQL Server drivers tried for OLE DB style strings, best first.
std::vector<std::u16string> SqlServerDrivers(OdbcPlatform platform);

// nullopt when the string names a provider that ODBC does not stand in for (the embedded
// store's, or one no backend knows). Throws DbError when it is for ODBC but names no data source
// or driver, or no SQL Server driver is installed for an OLE DB string. `installed` lists the
// driver names the driver manager knows; it is only asked for strings that need a driver chosen.
using DriverLister = std::function<std::vector<std::u16string>()>;
std::optional<OdbcConnect> TranslateConnString(const ConnString& cs, std::u16string_view raw,
                                               const DriverLister& installed,
                                               OdbcPlatform platform);

// The SQLite3 drivers ignore the statement timeout: a statement waiting for another connection's
// lock waits their busy timeout, the "Timeout" key (milliseconds, 100 s unless given), which only
// the connection string sets, once for each of its steps. A string for such a driver that does
// not set it gets a short wait added (the backend tries again until the command timeout has
// passed), or no limit when the command timeout is 0; any other string comes back as it is.
inline constexpr long long kDriverBusyStepMs = 100;
std::u16string WithDriverBusyTimeout(std::u16string connect, int commandTimeoutSeconds);

// A value as an ODBC connection string carries it: in braces when it could be misread.
std::u16string OdbcValue(std::u16string_view value);

// The secrets a connection string holds (its password values), so that no message repeats them.
std::vector<std::u16string> SecretsOf(const ConnString& cs);

// The text with every secret, and every "PWD=..." or "Password=..." it quotes, masked.
std::u16string MaskSecrets(std::u16string text, const std::vector<std::u16string>& secrets);

}  // namespace quorvel
