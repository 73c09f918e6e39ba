#include <gtest/gtest.h>

#include "store/connstring.h"
#include "store/dialect.h"
#include "store/schema.h"
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
    const IdComparison ci;
    auto all = [&](Dialect d, int part, bool snapshot = false) {
        const std::u16string key = RuleLockKey(part ? u"O'X" : u"o'x", ci);
        const TransactionStatements t =
            part == 0 ? ReadVersionStatements(d, key, 5, snapshot) : ChangeStatements(d, 5);
        const std::u16string lock = ChangeLockStatement(d, key, 5);
        return ToUtf8(
            AdaptSql(t.begin + u" | " + t.commit + u" | " + t.rollback + u" | " + lock, d));
    };
    const std::string applock =
        "DECLARE @r int; EXEC @r = sp_getapplock @Resource = N'quorvel:rule:O''X', @LockMode = "
        "N'Shared', @LockOwner = N'Transaction', @LockTimeout = 5000; IF @r < 0 BEGIN "
        "RAISERROR(N'The lock quorvel:rule:O''X was not granted in time.', 16, 1); RETURN END";
    const std::string advisory = "select pg_advisory_xact_lock(1364545362,-1351659559)";
    std::string exclusive = applock;
    exclusive.replace(exclusive.find("Shared"), 6, "Exclusive");
    // The server ends a lock wait itself; a pooled session's next user gets the defaults back.
    const std::string wait = "SET LOCK_TIMEOUT 5000; ";
    const std::string unwait = "; SET LOCK_TIMEOUT -1";
    const std::string msReset = "; SET TRANSACTION ISOLATION LEVEL READ COMMITTED" + unwait;
    const std::string msEnd = " | COMMIT TRANSACTION" + unwait +
                              " | IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION" + unwait + " | ";
    const std::pair<std::string, std::string> cases[] = {
        {all(Dialect::Sqlite, 0), "BEGIN DEFERRED | COMMIT | ROLLBACK | "},
        {all(Dialect::Sqlite, 1), "BEGIN IMMEDIATE | COMMIT | ROLLBACK | "},
        {all(Dialect::PostgreSql, 0),
         "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY | COMMIT | ROLLBACK | " + advisory},
        {all(Dialect::PostgreSql, 1), "BEGIN | COMMIT | ROLLBACK | " + advisory},
        // SNAPSHOT where the database allows it, set on its own before the transaction; else
        // the rule's lock shared for the scan and exclusive for a change.
        {all(Dialect::SqlServer, 0, true),
         wait + "SET TRANSACTION ISOLATION LEVEL SNAPSHOT; BEGIN TRANSACTION | COMMIT TRANSACTION" +
             msReset + " | IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION" + msReset + " | " + exclusive},
        {all(Dialect::SqlServer, 0, false),
         wait + "BEGIN TRANSACTION; " + applock + msEnd + exclusive},
        {all(Dialect::SqlServer, 1), wait + "BEGIN TRANSACTION" + msEnd + exclusive},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
    EXPECT_NE(ChangeLockStatement(Dialect::PostgreSql, RuleLockKey(u"O'Y", ci), 5),
              FromUtf8(advisory));
}

// Two spellings that the rule tables take for one id share a lock; ids they tell apart do not.
TEST(GuardStatements, LockKeysFollowTheTablesComparison) {
    const IdComparison sqlite = DefaultIdComparison(Dialect::Sqlite);
    const IdComparison chinese = SqlServerTraitsFrom(1, u"Chinese_PRC_CI_AS").ids;
    const IdComparison wide = SqlServerTraitsFrom(0, u"Latin1_General_CI_AS_WS").ids;
    const IdComparison binary = SqlServerTraitsFrom(0, u"Chinese_PRC_BIN2").ids;
    const IdComparison cased = SqlServerTraitsFrom(0, u"SQL_Latin1_General_CP1_CS_AS").ids;
    struct Case {
        const char16_t *a, *b;
        IdComparison ids;
        bool same;
    } cases[] = {
        {u"r01", u"R01", sqlite, true},     {u"R01", u"R01 ", sqlite, false},
        {u"R01", u"Ｒ０１", sqlite, false}, {u"R01", u"R01  ", chinese, true},
        {u"R01", u"Ｒ０１", chinese, true}, {u"r01", u"Ｒ０１　", chinese, true},
        {u"R01", u"RO1", chinese, false},   {u"é", u"e", chinese, false},
        {u"R01", u"Ｒ０１", wide, false},   {u"r01", u"R01 ", wide, true},
        {u"r01", u"R01", binary, false},    {u"R01", u"R01 ", binary, true},
        {u"R01", u"Ｒ０１", binary, false}, {u"r01", u"R01", cased, false},
        {u"R01", u"Ｒ０１", cased, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RuleLockKey(c.a, c.ids) == RuleLockKey(c.b, c.ids), c.same)
            << ToUtf8(c.a) << " / " << ToUtf8(c.b);
    }
    EXPECT_TRUE(SqlServerTraitsFrom(1, u"x").snapshotAllowed);
    EXPECT_FALSE(SqlServerTraitsFrom(0, u"x").snapshotAllowed);
}

// Tills run SQL Server 2005 and later: nothing sent to SQL Server may use a newer construct.
TEST(GuardStatements, SqlServerStatementsRunOnSqlServer2005) {
    std::vector<std::u16string> sent = {SqlServerTraitsQuery()};
    for (bool snapshot : {false, true}) {
        const auto t = ReadVersionStatements(Dialect::SqlServer, u"rule:R", 0, snapshot);
        sent.insert(sent.end(), {t.begin, t.commit, t.rollback});
    }
    const auto c = ChangeStatements(Dialect::SqlServer, 30);
    sent.insert(sent.end(), {c.begin, c.commit, c.rollback});
    sent.push_back(ChangeLockStatement(Dialect::SqlServer, kCategoriesLockKey, 30));
    for (const auto& s : SchemaStatements(Dialect::SqlServer)) sent.push_back(s);
    const char* newer[] = {"THROW",    "TRY_CONVERT", "TRY_CAST", "IIF(",       "CONCAT",
                           "FORMAT(",  "OFFSET",      "FETCH",    "STRING_AGG", "MERGE ",
                           "SEQUENCE", "IF EXISTS",   "OR ALTER", "DATETIME2",  "CHOOSE("};
    for (const auto& s : sent) {
        const std::string text = ToUtf8(ToUpper(AdaptSql(s, Dialect::SqlServer)));
        for (const char* n : newer) EXPECT_EQ(text.find(n), std::string::npos) << n << ": " << text;
    }
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
