#include "store/rule_guard.h"

#include <algorithm>
#include <climits>

#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
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

DbError Busy(const std::vector<std::u16string>& ruleIds, int timeout, const DbError& cause) {
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
    text += u"; nothing was changed. (" + cause.Description() + u")";
    return DbError(err::kTimeout, text);
}

}  // namespace

RuleRead::RuleRead(const std::u16string& ruleId, size_t reads) noexcept : expected_(reads) {
    try {
        Connection& conn = DbConn();
        const auto dialect = conn.DatabaseDialect();
        if (!dialect) return;
        conn.BeginTransWithNextQuery(
            ReadVersionStatements(*dialect, ruleId, Seconds(conn.CommandTimeout)));
        open_ = true;
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
        return QueryReadOnly(sql);
    } catch (...) {
        gaveUp_ = CurrentIsTimeout();
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
    std::vector<std::u16string> keys;
    for (const auto& id : ruleIds) {
        if (!id.empty()) keys.push_back(RuleLockKey(id));
    }
    // One order for every change, so that two changes never each hold what the other waits for.
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (categories) keys.insert(keys.begin(), kCategoriesLockKey);

    const auto dialect = conn.DatabaseDialect();
    if (!dialect) {
        conn.BeginTrans();
        return;
    }
    const int timeout = Seconds(conn.CommandTimeout);
    try {
        conn.BeginTransWith(ChangeStatements(*dialect));
    } catch (const DbError& e) {
        if (e.Number() == err::kTimeout) throw Busy(ruleIds, timeout, e);
        throw;
    }
    try {
        for (const auto& key : keys) {
            const std::u16string lock = ChangeLockStatement(*dialect, key, timeout);
            if (!lock.empty()) conn.Execute(lock);
        }
    } catch (const DbError& e) {
        try {
            conn.RollbackTrans();
        } catch (...) {
        }
        if (e.Number() == err::kTimeout) throw Busy(ruleIds, timeout, e);
        throw;
    }
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
