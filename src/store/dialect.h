// The component's statements are written for SQL Server. Other databases get them rewritten,
// outside string literals only, into their own dialect.
//
// Adding a dialect: add it to the enum below and build; the compiler then stops at every switch
// that must learn it. Those are AdaptSql (dialect.cpp: the rewriting), SchemaStatements
// (schema.cpp: the tables `quorvel init` creates), and in odbc_backend.cpp DialectOf (how the
// driver's DBMS name is recognised) and TextIsNarrow (drivers that take UTF-8 rather than wide
// text). The embedded store is always Sqlite (sqlite_backend.cpp).
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

enum class Dialect { SqlServer, Sqlite, PostgreSql };

// How a transaction begins, and how it ends either way.
struct TransactionStatements {
    std::u16string begin, commit, rollback;
};

std::u16string AdaptSql(std::u16string_view sql, Dialect dialect);

// The one way a text value enters a statement: between single quotes, any quote inside doubled,
// so that a value can neither end the literal early nor change the statement.
std::u16string SqlQuote(std::u16string_view value);

// The statements that keep tills and managers apart on one database; store/rule_guard.h puts
// them to use and says what a till and a manager see. Every statement for SQL Server runs on SQL
// Server 2005 and later (no THROW, IIF, TRY_CONVERT, CONCAT, FORMAT, OFFSET/FETCH).

// How the rule tables compare ids, so that two spellings of one rule share one lock and ids the
// database tells apart keep theirs.
struct IdComparison {
    bool ignoresCase = true;
    bool ignoresWidth = false;           // full-width Ｒ０１ is R01
    bool ignoresTrailingSpaces = false;  // 'R01 ' is R01
};

// What a SQL Server database says of itself that the statements depend on: whether it allows
// snapshot isolation, and how the rule id column compares. Read with SqlServerTraitsQuery
// (columns snapshot, id_collation, db_collation) and kept by the caller.
struct SqlServerTraits {
    bool snapshotAllowed = false;
    IdComparison ids{true, true, true};
};
std::u16string SqlServerTraitsQuery();
SqlServerTraits SqlServerTraitsFrom(long snapshotState, std::u16string_view collation);
// The comparison of a database whose traits are not read: the dialect's own.
IdComparison DefaultIdComparison(Dialect dialect);

// A scan's read of one rule: every statement between begin and commit sees the same committed
// state of the rule tables. SQL Server takes snapshot isolation where the database allows it, and
// otherwise holds the rule's lock (below) in shared mode, waiting at most `timeoutSeconds`
// (0: no limit).
TransactionStatements ReadVersionStatements(Dialect dialect, std::u16string_view ruleLockKey,
                                            int timeoutSeconds, bool snapshotAllowed);
// A change of rules, waiting at most `timeoutSeconds` for any lock (0: no limit). On SQLite its
// begin takes the database's write lock; the other databases take ChangeLockStatement's locks
// right after it.
TransactionStatements ChangeStatements(Dialect dialect, int timeoutSeconds);
// What a change locks: one rule, by id as the tables compare ids (whether the rule exists or
// not), or the segment categories.
std::u16string RuleLockKey(std::u16string_view ruleId, const IdComparison& ids);
inline constexpr char16_t kCategoriesLockKey[] = u"categories";
// The statement that takes the lock `key` until the transaction ends, waiting at most
// `timeoutSeconds` (0: no limit); empty where the change's begin has locked everything.
std::u16string ChangeLockStatement(Dialect dialect, std::u16string_view key, int timeoutSeconds);
// What SQL Server says when ChangeLockStatement's or a scan's lock was not granted in time.
inline constexpr char16_t kLockNotGranted[] = u"was not granted in time";

}  // namespace quorvel
