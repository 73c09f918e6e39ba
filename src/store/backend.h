// What a database backend gives the connection/recordset layer. Results are read whole: the
// layer only ever uses static, client-side result sets.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/connstring.h"
#include "store/dialect.h"
#include "store/value.h"

namespace quorvel {

// Seconds a statement may run or wait for a lock, as the host's data-access layer bounds a command
// by default.
inline constexpr long kDefaultCommandTimeout = 30;

struct Column {
    std::u16string name;
    short type = adtype::kVarWChar;
};

struct ResultData {
    std::vector<Column> columns;
    std::vector<std::vector<FieldValue>> rows;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // Statements arrive in the host's dialect; each backend adapts them to its database.
    virtual void Execute(const std::u16string& sql) = 0;
    virtual std::shared_ptr<const ResultData> Query(const std::u16string& sql) = 0;
    // `sql` with statements of the database's own around it (a transaction's begin, its commit;
    // either may be empty), in one exchange where the driver takes several statements at once.
    // `after` runs only when `sql` has succeeded.
    virtual std::shared_ptr<const ResultData> QueryBetween(const std::u16string& before,
                                                           const std::u16string& sql,
                                                           const std::u16string& after) {
        if (!before.empty()) Execute(before);
        auto data = Query(sql);
        if (!after.empty()) Execute(after);
        return data;
    }
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual void Close() noexcept = 0;
    // How long a statement may run (or wait for a lock) before it fails; 0 means no limit. The
    // connection sets it before every statement, so a backend should only act on a change.
    virtual void SetCommandTimeout(int /*seconds*/) {}
    // The dialect the statements are adapted to; none when they go as the host wrote them.
    virtual std::optional<Dialect> DatabaseDialect() const { return std::nullopt; }
};

// Opens a backend for a connection string, or returns nullptr when the string is not for it.
// Throws DbError when it is for it but the open fails. `timeoutSeconds` bounds the opening;
// `commandTimeoutSeconds` is the statements' bound at that moment, for a driver that can only
// take it when the connection opens (0: no limit for either).
using BackendFactory = std::function<std::unique_ptr<Backend>(
    const ConnString& cs, std::u16string_view raw, int timeoutSeconds, int commandTimeoutSeconds)>;

// Factories are tried in the order they were registered; the embedded one is always first.
void RegisterBackend(BackendFactory factory);

std::unique_ptr<Backend> OpenSqliteBackend(const ConnString& cs, std::u16string_view raw,
                                           int timeoutSeconds, int commandTimeoutSeconds);

}  // namespace quorvel
