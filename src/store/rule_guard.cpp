#include "store/rule_guard.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/spin_lock.h"
#include "store/text.h"

namespace quorvel {

namespace {

int Seconds(long timeout) {
    return static_cast<int>(std::clamp<long>(timeout, 0, INT_MAX));
}

// Inside a catch block: whether the failure is a wait that ran out.
bool CurrentIsTimeout() noexcept {
    try {
        throw;
    } catch (const DbError& e) {
        return e.Number() == err::kTimeout;
    } catch (...) {
        return false;
    }
}

DbError Busy(const std::vector<std::u16string>& ruleIds, int timeout, const std::u16string& cause) {
    std::vector<std::u16string> named;
    for (const auto& id : ruleIds) {
        if (id.empty() || std::any_of(named.begin(), named.end(),
                                      [&](const auto& n) { return EqualsNoCase(n, id); })) {
            continue;
        }
        named.push_back(id);
    }
    std::u16string who;
    for (size_t i = 0; i < named.size(); ++i) who += (i ? u", " : u"") + named[i];
    std::u16string text = named.empty()       ? u"The segment categories are"
                          : named.size() == 1 ? u"Rule " + who + u" is"
                                              : u"Rules " + who + u" are";
    text += u" being changed elsewhere and did not become free ";
    text += timeout > 1    ? u"within " + ToU16(timeout) + u" seconds"
            : timeout == 1 ? std::u16string(u"within 1 second")
                           : std::u16string(u"in time");
    text += u"; nothing was changed. (" + cause + u")";
    return DbError(err::kTimeout, text);
}

// What a SQL Server database says of itself, read once per connection string in a process: its
// settings change seldom, and a scan should not pay a round trip for them. A scan that fails
// forgets them, so that a setting changed since is read again.
struct TraitsCache {
    std::atomic_flag busy;
    std::unordered_map<std::u16string, SqlServerTraits> known;
};
TraitsCache& Traits() {
    static TraitsCache cache;
    return cache;
}

SqlServerTraits TraitsOf(Connection& conn) {
    auto& cache = Traits();
    {
        SpinLock lock(cache.busy);
        auto it = cache.known.find(conn.ConnectionString());
        if (it != cache.known.end()) return it->second;
    }
    const auto data = conn.Query(SqlServerTraitsQuery());
    SqlServerTraits traits;  // a database that does not say: shared locks, ids as by default
    if (!data->rows.empty() && data->rows[0].size() >= 3) {
        const auto& row = data->rows[0];
        const long snapshot = row[0].IsNull() ? 0 : row[0].ToInt32();
        const FieldValue& collation = row[1].IsNull() ? row[2] : row[1];
        traits = SqlServerTraitsFrom(snapshot, collation.IsNull() ? u"" : collation.ToText());
    }
    SpinLock lock(cache.busy);
    cache.known[conn.ConnectionString()] = traits;
    return traits;
}

void ForgetTraits(const Connection& conn) noexcept {
    try {
        auto& cache = Traits();
        SpinLock lock(cache.busy);
        cache.known.erase(conn.ConnectionString());
    } catch (...) {
    }
}

IdComparison IdsOf(Connection& conn, Dialect dialect) {
    return dialect == Dialect::SqlServer ? TraitsOf(conn).ids : DefaultIdComparison(dialect);
}

}  // namespace

RuleRead::RuleRead(const std::u16string& ruleId, size_t reads) noexcept : expected_(reads) {
    try {
        Connection& conn = DbConn();
        const auto dialect = conn.DatabaseDialect();
        if (!dialect) return;
        bool snapshot = false;
        std::u16string key;
        if (*dialect == Dialect::SqlServer) {
            const SqlServerTraits traits = TraitsOf(conn);
            snapshot = traits.snapshotAllowed;
            key = RuleLockKey(ruleId, traits.ids);
        }
        conn.BeginTransWithNextQuery(
            ReadVersionStatements(*dialect, key, Seconds(conn.CommandTimeout), snapshot));
        open_ = true;
        sqlServer_ = *dialect == Dialect::SqlServer;
    } catch (...) {
        // Only a lock that was not granted in time stops the scan; otherwise its reads go on as
        // statements of their own and report their own failures.
        if (CurrentIsTimeout()) {
            gaveUp_ = true;
            try {
                failures_.push_back(DescribeCurrentException());
            } catch (...) {
            }
        }
    }
}

RuleRead::~RuleRead() {
    End();
}

std::shared_ptr<Recordset> RuleRead::OpenReadOnlyRs(const std::u16string& sql) {
    if (gaveUp_) return nullptr;
    try {
        if (open_ && ++reads_ == expected_) DbConn().CommitTransWithNextQuery();
        if (open_ && reads_ > expected_) late_ = true;
        return QueryReadOnly(sql);
    } catch (...) {
        gaveUp_ = CurrentIsTimeout();
        // A database whose snapshot setting changed since it was read fails the scan's reads.
        if (sqlServer_ && !gaveUp_) ForgetTraits(DbConn());
        failures_.push_back(DescribeCurrentException());
        return nullptr;
    }
}

void RuleRead::End() noexcept {
    if (open_) {
        open_ = false;
        try {
            // Unless the last read has committed it already.
            if (DbConn().InTransaction()) DbConn().CommitTrans();
        } catch (...) {
            try {
                DbConn().RollbackTrans();
            } catch (...) {
            }
        }
    }
    std::vector<std::u16string> failures = std::move(failures_);
    failures_.clear();
    for (const auto& f : failures) {
        try {
            ReportRsFailure(f);
        } catch (...) {
        }
    }
}

void BeginRuleChange(Connection& conn, std::vector<std::u16string> ruleIds, bool categories) {
    const auto dialect = conn.DatabaseDialect();
    if (!dialect) {
        conn.BeginTrans();
        return;
    }
    const int timeout = Seconds(conn.CommandTimeout);
    std::vector<std::u16string> keys;
    if (*dialect != Dialect::Sqlite) {  // SQLite's begin locks the whole database
        const IdComparison ids = IdsOf(conn, *dialect);
        for (const auto& id : ruleIds) {
            if (!id.empty()) keys.push_back(RuleLockKey(id, ids));
        }
        // One order for every change, so that two changes never each hold what the other waits
        // for.
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        if (categories) keys.insert(keys.begin(), kCategoriesLockKey);
    }
    try {
        conn.BeginTransWith(ChangeStatements(*dialect, timeout));
    } catch (const DbError& e) {
        if (e.Number() == err::kTimeout) throw Busy(ruleIds, timeout, e.Description());
        throw;
    }
    try {
        for (const auto& key : keys) conn.Execute(ChangeLockStatement(*dialect, key, timeout));
    } catch (const DbError& e) {
        try {
            conn.RollbackTrans();
        } catch (...) {
        }
        if (e.Number() == err::kTimeout) throw Busy(ruleIds, timeout, e.Description());
        throw;
    }
}

std::u16string DescribeChangeFailure(const Connection& conn,
                                     const std::vector<std::u16string>& ruleIds) noexcept {
    try {
        try {
            throw;
        } catch (const DbError& e) {
            // Already put so by BeginRuleChange, or a wait for a row, a page or the commit.
            const std::u16string said = u" being changed elsewhere";
            if (e.Number() != err::kTimeout || e.Description().find(said) != std::u16string::npos) {
                return e.Description();
            }
            return Busy(ruleIds, Seconds(conn.CommandTimeout), e.Description()).Description();
        }
    } catch (...) {
    }
    return DescribeCurrentException();
}

RuleVersion RuleVersion::Unknown() {
    RuleVersion v;
    v.known_ = false;
    return v;
}

bool RuleVersion::operator==(const RuleVersion& other) const {
    return known_ && other.known_ && rows == other.rows;
}

RuleVersion ReadRuleVersion(Connection& conn, const std::u16string& ruleId) {
    RuleVersion v;
    auto add = [&](char16_t table, const ResultData& data) {
        for (const auto& row : data.rows) {
            std::u16string text(1, table);
            for (const auto& value : row) {
                text += u'\x1F';
                text += value.IsNull() ? std::u16string(1, u'\x01') : value.ToText();
            }
            v.rows.push_back(std::move(text));
        }
    };
    const std::u16string id = SqlQuote(ruleId);
    add(u'h', *conn.Query(u"select gzid,gzname,dnmid,txmzws from txm_gzzb where gzid=" + id));
    add(u'l',
        *conn.Query(u"select gzid,js,lbid,startws,endws,xsws,bz from txm_gzmx where gzid=" + id));
    std::sort(v.rows.begin(), v.rows.end());
    return v;
}

}  // namespace quorvel
