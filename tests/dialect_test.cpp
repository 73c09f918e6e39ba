#include <gtest/gtest.h>

#include "store/connstring.h"
#include "store/dialect.h"

using namespace quorvel;

namespace {

TEST(AdaptSqlToSqlite, RewritesTheServerDialectOutsideLiterals) {
    EXPECT_EQ(
        AdaptSql(u"select top 1 isnull(startws,0) as startws from t where a='x'", Dialect::Sqlite),
        u"select ifnull(startws,0) as startws from t where a='x' limit 1");
    EXPECT_EQ(AdaptSql(u"delete txm_gzzb where gzid='A'", Dialect::Sqlite),
              u"delete from txm_gzzb where gzid='A'");
    EXPECT_EQ(AdaptSql(u"DELETE TXM_GZMX WHERE GZID='A'", Dialect::Sqlite),
              u"DELETE from TXM_GZMX WHERE GZID='A'");
    EXPECT_EQ(AdaptSql(u"delete from t where a=1", Dialect::Sqlite), u"delete from t where a=1");
    // Inside a literal nothing changes, quotes doubled or not.
    EXPECT_EQ(AdaptSql(u"select 'isnull(x) delete t where '' top 1' as v", Dialect::Sqlite),
              u"select 'isnull(x) delete t where '' top 1' as v");
    EXPECT_EQ(AdaptSql(u"select isnullx(1), ISNULL (a,0)", Dialect::Sqlite),
              u"select isnullx(1), ifnull (a,0)");
}

TEST(AdaptSqlToPostgres, UsesCoalesceAndLimit) {
    EXPECT_EQ(AdaptSql(u"select top 1 isnull(a,0) from t", Dialect::PostgreSql),
              u"select coalesce(a,0) from t limit 1");
}

TEST(AdaptSqlToSqlServer, KeepsStatementsAndWidensLiterals) {
    EXPECT_EQ(AdaptSql(u"select a from t where n='店' and m='O''X'", Dialect::SqlServer),
              u"select a from t where n=N'店' and m=N'O''X'");
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
