#include <gtest/gtest.h>

#include "store/connstring.h"
#include "store/dialect.h"
#include "store/text.h"

using namespace quorvel;

namespace {

TEST(AdaptSql, RewritesTheServerDialectOutsideLiteralsAndSubqueries) {
    constexpr auto Lite = Dialect::Sqlite;
    const struct {
        const char16_t* sql;
        Dialect dialect;
        const char16_t* expected;
    } cases[] = {
        {u"select top 1 isnull(startws,0) as startws from t where a='x'", Lite,
         u"select ifnull(startws,0) as startws from t where a='x' limit 1"},
        {u"select top 1 isnull(a,0) from t", Dialect::PostgreSql,
         u"select coalesce(a,0) from t limit 1"},
        {u"delete txm_gzzb where gzid='A'", Lite, u"delete from txm_gzzb where gzid='A'"},
        {u"DELETE TXM_GZMX WHERE GZID='A'", Lite, u"DELETE from TXM_GZMX WHERE GZID='A'"},
        {u"delete from t where a=1", Lite, u"delete from t where a=1"},
        // Inside a literal nothing changes, quotes doubled or not.
        {u"select 'isnull(x) delete t where '' top 1' as v", Lite,
         u"select 'isnull(x) delete t where '' top 1' as v"},
        {u"select isnullx(1), ISNULL (a,0)", Lite, u"select isnullx(1), ifnull (a,0)"},
        // A subquery's row limit is left as written (no statement of ours has one): it must never
        // become a limit on the whole statement.
        {u"select a from t where b in (select top 1 b from u)", Lite,
         u"select a from t where b in (select top 1 b from u)"},
        {u"select top 2 a from t where b in (select top 1 b from u)", Dialect::PostgreSql,
         u"select a from t where b in (select top 1 b from u) limit 2"},
        {u"select 'a'N'b', N'c'N'd'", Lite, u"select 'a' 'b', 'c' 'd'"},
        {u"select a from t where n='店' and m='O''X'", Dialect::SqlServer,
         u"select a from t where n=N'店' and m=N'O''X'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(AdaptSql(c.sql, c.dialect)), ToUtf8(c.expected));
    }
}

// What each database is sent so that a scan sees one version and changes of a rule never
// interleave (store/rule_guard.h), as the backends send it; o'x and O'X are one rule, one lock.
TEST(GuardStatements, EachDialectsReadChangeAndLock) {
    auto all = [](Dialect d, int part) {
        const TransactionStatements t =
            part == 0 ? ReadVersionStatements(d, u"o'x", 5) : ChangeStatements(d);
        const std::u16string lock = ChangeLockStatement(d, RuleLockKey(part ? u"O'X" : u"o'x"), 5);
        return ToUtf8(
            AdaptSql(t.begin + u" | " + t.commit + u" | " + t.rollback + u" | " + lock, d));
    };
    const std::string applock =
        "DECLARE @r int; EXEC @r = sp_getapplock @Resource = N'quorvel:rule:O''X', @LockMode = "
        "N'Shared', @LockOwner = N'Transaction', @LockTimeout = 5000; IF @r < 0 THROW 51000, "
        "N'The lock quorvel:rule:O''X was not granted in time.', 1;";
    const std::string advisory = "select pg_advisory_xact_lock(1364545362,-1351659559)";
    std::string exclusive = applock;
    exclusive.replace(exclusive.find("Shared"), 6, "Exclusive");
    const std::string msReset = "; SET TRANSACTION ISOLATION LEVEL READ COMMITTED";
    const std::string snapshotAllowed =
        "(SELECT snapshot_isolation_state FROM sys.databases WHERE database_id = DB_ID()) = 1";
    const std::pair<std::string, std::string> cases[] = {
        {all(Dialect::Sqlite, 0), "BEGIN DEFERRED | COMMIT | ROLLBACK | "},
        {all(Dialect::Sqlite, 1), "BEGIN IMMEDIATE | COMMIT | ROLLBACK | "},
        {all(Dialect::PostgreSql, 0),
         "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY | COMMIT | ROLLBACK | " + advisory},
        {all(Dialect::PostgreSql, 1), "BEGIN | COMMIT | ROLLBACK | " + advisory},
        // SNAPSHOT where the database allows it, else the rule's lock shared for the scan and
        // exclusive for a change; the session's isolation level is reset for the next user.
        {all(Dialect::SqlServer, 0),
         "IF " + snapshotAllowed +
             " SET TRANSACTION ISOLATION LEVEL SNAPSHOT; BEGIN TRANSACTION; " + "IF NOT " +
             snapshotAllowed + " BEGIN " + applock + " END | COMMIT TRANSACTION" + msReset +
             " | IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION" + msReset + " | " + exclusive},
        {all(Dialect::SqlServer, 1),
         "BEGIN TRANSACTION | COMMIT TRANSACTION | IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION | " +
             exclusive},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
    EXPECT_NE(ChangeLockStatement(Dialect::PostgreSql, RuleLockKey(u"O'Y"), 5), FromUtf8(advisory));
}

TEST(SqlQuote, DoublesQuotesSoValuesCannotEndTheLiteral) {
    EXPECT_EQ(SqlQuote(u"O'X"), u"'O''X'");
    EXPECT_EQ(SqlQuote(u""), u"''");
    EXPECT_EQ(SqlQuote(u"x' or '1'='1"), u"'x'' or ''1''=''1'");
}

TEST(ConnStringParse, HandlesQuotesBracesAndCase) {
    auto cs = ConnString::Parse(
        u" Provider = SQLite ; DATA SOURCE=\"C:\\a;b=c.db\";Pwd={x}};y};User ID='o''b'; ;flag");
    EXPECT_EQ(cs.Get(u"provider"), u"SQLite");
    EXPECT_EQ(cs.Get(u"data source"), u"C:\\a;b=c.db");
    EXPECT_EQ(cs.Get(u"PWD"), u"x};y");
    EXPECT_EQ(cs.Get(u"user id"), u"o'b");
    EXPECT_EQ(cs.Get(u"flag"), u"");
    EXPECT_FALSE(cs.Get(u"missing").has_value());
}

}  // namespace
