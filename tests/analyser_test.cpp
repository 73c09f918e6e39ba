// The analyser on every store target, on our schema and on one a host made itself.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "service/analyser.h"
#include "store/connection.h"
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/text.h"
#include "support.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

std::u16string Level(const char16_t* gzid, int js, const char16_t* lbid, const char16_t* s,
                     const char16_t* e, const char16_t* x) {
    return std::u16string(u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('") +
           gzid + u"'," + ToU16(js) + u",'" + lbid + u"'," + s + u"," + e + u"," + x + u",'')";
}

std::u16string Rule(const char16_t* gzid, const char16_t* dnmid) {
    return std::u16string(u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('") + gzid +
           u"','n'," + dnmid + u",0)";
}

class Analyser : public ::testing::TestWithParam<StoreParam> {
  protected:
    void SetUp() override {
        store = Targets()[GetParam().target].create(GetParam().schema);
        store->Exec({
            Rule(u"R01", u"'21'"),
            Level(u"R01", 1, u"A", u"1", u"5", u"0"),
            Level(u"R01", 2, u"B", u"6", u"10", u"2"),
            Rule(u"NUL", u"null"),
            Level(u"NUL", 1, u"A", u"1", u"3", u"0"),
            Rule(u"EMP", u"''"),
            Level(u"EMP", 1, u"A", u"1", u"3", u"null"),
            Level(u"EMP", 2, u"Z", u"null", u"null", u"null"),
            Rule(u"DEC", u"''"),
            Level(u"DEC", 1, u"K", u"1", u"4", u"2"),
            Level(u"DEC", 2, u"M", u"1", u"4", u"5"),
            Level(u"DEC", 3, u"N", u"1", u"4", u"-1"),
            Rule(u"OV", u"'21'"),
            Level(u"OV", 1, u"A", u"32767", u"32767", u"0"),
            Level(u"OV", 2, u"B", u"0", u"32767", u"0"),
            Level(u"OV", 3, u"C", u"32766", u"32767", u"0"),
            Level(u"OV", 4, u"D", u"1", u"40000", u"0"),
            Rule(u"O''X", u"'9'"),
            Level(u"O''X", 1, u"A''1", u"1", u"2", u"0"),
            Rule(u"U", u"'2'"),
            Level(u"U", 1, u"A", u"1", u"2", u"0"),
            Level(u"U", 2, u"B", u"3", u"4", u"0"),
        });
        analyser = std::make_unique<GetAnalyseBarCode>();
        analyser->ConnString(store->ConnString());
    }
    void TearDown() override {
        analyser.reset();
        Connection::SetStatementHook(nullptr);
        Module() = ModuleState{};
    }
    std::u16string Parse(const std::u16string& lbid, const std::u16string& txm,
                         const std::u16string& gzid) {
        return analyser->ParseBarCode(lbid, txm, gzid);
    }

    std::unique_ptr<TestStore> store;
    RecordingBoxes boxes;
    std::unique_ptr<GetAnalyseBarCode> analyser;
};

TEST_P(Analyser, ValuesCutFromTheBarcode) {
    const std::u16string code = u"2100123004567", longCode(40000, u'7');
    const struct {
        std::u16string lbid, txm, gzid, expected;
    } cases[] = {
        // The worked example, and category lists.
        {u"A,B", code, u"R01", u"00123,004.56"},
        {u"A,C,B", code, u"R01", u"00123,,004.56"},
        {u"C,B,C", code, u"R01", u",004.56,"},
        {u"A", code, u"R01", u"00123"},
        {u"A,B,", code, u"R01", u"00123,004.56,"},
        {u" A", code, u"R01", u""},                           // items are not trimmed
        {u"B,A", u"9900123004567", u"R01", u"004.56,00123"},  // the prefix is never compared
        // The in-store code's length shifts positions; Null positions read as 0 and give nothing.
        {u"A", u"123456", u"NUL", u"123"},
        {u"A", u"123456", u"EMP", u"123"},
        {u"Z", u"123456", u"EMP", u""},
        {u"A,B", u"2ab", u"U", u"ab,"},
        // Decimal places.
        {u"K", u"1234", u"DEC", u"12.34"},
        {u"K", u"12", u"DEC", u".12"},
        {u"K", u"1", u"DEC", u"1"},
        {u"K", u"", u"DEC", u""},  // the module's barcode text, empty
        {u"K", u"123456", u"DEC", u"12.34"},
        {u"M", u"1234", u"DEC", u"1234"},          // more places than characters
        {u"N", u"1234", u"DEC", u"1234"},          // negative places
        {u"B", u"21001230045", u"R01", u"00.45"},  // a barcode shorter than the level
        // 16-bit overflow leaves the value empty.
        {u"A", longCode, u"OV", u""},  // 32767 + 2
        {u"B", longCode, u"OV", u""},  // 32767 - 0 + 1
        {u"C", longCode, u"OV", u""},  // 32766 + 2
        {u"D", longCode, u"OV", u""},  // an end beyond 16 bits fails its conversion
        {u"A,B,C,D", longCode, u"OV", u",,,"},
        // Positions count UTF-16 units: U+1F600 takes two.
        {u"A,B", u"2\U0001F600店9", u"U", u"\U0001F600,店9"},
        {u"A", u"2店铺码", u"U", u"店铺"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(Parse(c.lbid, c.txm, c.gzid)), ToUtf8(c.expected))
            << ToUtf8(c.lbid) << " of " << ToUtf8(c.txm.substr(0, 20)) << " by " << ToUtf8(c.gzid);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    // The statement last built is the level query, word for word, for a position level.
    Parse(u"A,B", code, u"R01");
    EXPECT_EQ(ToUtf8(Module().SqlText),
              "select top 1 isnull(startws,0) as startws,isnull(endws,0) as endws,isnull(xsws,0) "
              "as xsws,dnmid as dnmid from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid "
              "where lbid='B' and a.gzid='R01'");
}

TEST_P(Analyser, EmptyListStillOpensTheConnection) {
    auto before = Module().DbConn;
    EXPECT_EQ(Parse(u"", u"2100123004567", u"R01"), u"");
    ASSERT_TRUE(Module().DbConn);
    EXPECT_NE(Module().DbConn, before);
    EXPECT_EQ(Module().DbConn->State(), kStateOpen);
    analyser->ConnString(u"Provider=SQLite;Data Source=/nonexistent/x.db");
    EXPECT_EQ(Parse(u"", u"2100123004567", u"R01"), u"");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, u"错误：");
    EXPECT_EQ(Parse(u"A,B", u"2100123004567", u"R01"), u"");
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_P(Analyser, DefaultsFromTheModuleForOmittedAndEmptyArguments) {
    EXPECT_EQ(Parse(u"A,B,C", u"2100123004567", u""), u",,");  // TxmGZ never set
    analyser->TxmGZ(u"R01");
    analyser->TXMName(u"2100123004567");
    EXPECT_EQ(analyser->ParseBarCode(u"A,B"), u"00123,004.56");
    EXPECT_EQ(Parse(u"A,B", u"", u""), u"00123,004.56");
    EXPECT_EQ(Parse(u"A", u"2199999", u""), u"99999");
    EXPECT_EQ(Parse(u"A", u"", u"NUL"), u"210");
}

TEST_P(Analyser, QuotesInIdsAreValuesNotSyntax) {
    EXPECT_EQ(Parse(u"A'1", u"912", u"O'X"), u"12");
    EXPECT_EQ(Parse(u"A' or '1'='1", u"2100123004567", u"R01"), u"");
    EXPECT_EQ(analyser->StoreCode(u"O'X"), u"9");
    EXPECT_TRUE(boxes.boxes.empty());
    // A NUL would cut the statement short at the driver: refused, with a message, not run.
    EXPECT_EQ(Parse(std::u16string(u"A\0'", 3), u"2100123004567", u"R01"), u"");
    EXPECT_EQ(Parse(u"A", u"2100123004567", std::u16string(u"R01\0", 4)), u"");
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_NE(boxes.boxes[0].prompt.find(u"NUL"), std::u16string::npos);
}

TEST_P(Analyser, AFailedLevelQueryIsReportedOnceAndTheOthersAreComputed) {
    Connection::SetStatementHook([](const std::u16string& sql) {
        if (sql.find(u"lbid='B'") != std::u16string::npos)
            throw DbError(err::kProviderError, u"boom");
    });
    EXPECT_EQ(Parse(u"A,B,A", u"2100123004567", u"R01"), u"00123,,00123");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"boom");
    EXPECT_EQ(boxes.boxes[0].buttons, 16);
    EXPECT_EQ(boxes.boxes[0].title, u"Error:");
}

TEST_P(Analyser, StoreCodeUsesTheConnectionAsItIs) {
    // Never opened on this thread: the lookup fails and says so.
    EXPECT_EQ(analyser->StoreCode(u"R01"), u"");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, u"系统提示");
    Parse(u"", u"", u"");
    EXPECT_EQ(analyser->StoreCode(u"R01"), u"21");
    EXPECT_EQ(analyser->StoreCode(u"NUL"), u"");
    EXPECT_EQ(analyser->StoreCode(u"nothing"), u"");
    analyser->TxmGZ(u"R01");
    EXPECT_EQ(analyser->StoreCode(), u"");  // no default from TxmGZ
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_P(Analyser, ReleasingOneObjectClosesTheConnectionForTheOther) {
    auto second = std::make_unique<GetAnalyseBarCode>();
    second->TxmGZ(u"R01");  // shared: the first object sees it too
    EXPECT_EQ(analyser->ParseBarCode(u"A", u"2100123004567"), u"00123");
    EXPECT_EQ(second->StoreCode(u"R01"), u"21");
    analyser.reset();
    EXPECT_FALSE(Module().DbConn);
    EXPECT_EQ(second->StoreCode(u"R01"), u"");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].prompt, err::Describe(err::kConnectionInvalid));
    EXPECT_EQ(boxes.boxes[0].title, u"系统提示");
    EXPECT_EQ(second->ParseBarCode(u"B", u"2100123004567"), u"004.56");  // opens a new one
    EXPECT_EQ(second->StoreCode(u"R01"), u"21");
}

TEST_P(Analyser, EachThreadHasItsOwnModuleState) {
    EXPECT_EQ(Parse(u"A", u"2100123004567", u"R01"), u"00123");
    auto mine = Module().DbConn;
    std::u16string otherResult, otherStoreCode;
    std::thread other([&] {
        RecordingBoxes otherBoxes;
        GetAnalyseBarCode a;  // a fresh thread: no connection string, no connection
        otherStoreCode = a.StoreCode(u"R01");
        otherResult = a.ParseBarCode(u"A", u"2100123004567", u"R01");
    });
    other.join();
    EXPECT_EQ(otherStoreCode, u"");
    EXPECT_EQ(otherResult, u"");
    // The other thread's object ended there; this thread's connection is untouched.
    EXPECT_EQ(Module().DbConn, mine);
    EXPECT_EQ(analyser->StoreCode(u"R01"), u"21");
}

// Another program holds the store locked (until `release` runs): on SQLite the whole file, on
// PostgreSQL the rule table, on SQL Server the table's schema (a lock that even snapshot reads
// wait for).
std::function<void()> LockStore(Connection& holder) {
    switch (holder.DatabaseDialect().value_or(Dialect::SqlServer)) {
        case Dialect::Sqlite:
            holder.Execute(u"BEGIN EXCLUSIVE");
            return [&holder] { holder.Execute(u"ROLLBACK"); };
        case Dialect::PostgreSql:
            holder.BeginTrans();
            holder.Execute(u"LOCK TABLE txm_gzzb IN ACCESS EXCLUSIVE MODE");
            return [&holder] { holder.RollbackTrans(); };
        case Dialect::SqlServer:
            holder.BeginTransWith(ChangeStatements(Dialect::SqlServer, 0));
            holder.Execute(u"TRUNCATE TABLE txm_gzzb");
            return [&holder] { holder.RollbackTrans(); };
    }
    return {};
}

TEST_P(Analyser, ALockHeldElsewhereIsWaitedForOncePerScanWithTheDriversMessage) {
    Connection holder;
    holder.Open(store->ConnString());
    // A store that logs ahead (the embedded one) keeps serving reads while a writer holds it.
    const bool readsWait =
        holder.DatabaseDialect() != Dialect::Sqlite ||
        !EqualsNoCase(holder.Query(u"PRAGMA journal_mode")->rows.at(0).at(0).ToText(), u"wal");
    auto release = LockStore(holder);
    analyser->ConnectionTime(0);  // no limit for opening; statements are bounded all the same
    Module().CommandTimeout = 1;  // the default is 30 seconds
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Parse(u"A,B,A", u"2100123004567", u"R01"), readsWait ? u",," : u"00123,004.56,00123");
    // One wait for the whole scan, not one per category, on every driver.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    ASSERT_EQ(boxes.boxes.size(), readsWait ? 1u : 0u);
    if (readsWait) {
        EXPECT_EQ(boxes.boxes[0].title, u"Error:");
        EXPECT_FALSE(boxes.boxes[0].prompt.empty());
    }
    EXPECT_THROW(DbConn().Execute(u"update txm_gzzb set dnmid='99' where gzid='R01'"), DbError);
    release();
    EXPECT_EQ(analyser->StoreCode(u"R01"), u"21");  // nothing was changed
}

INSTANTIATE_TEST_SUITE_P(Stores, Analyser, ::testing::ValuesIn(EveryTargetAndSchema()),
                         StoreParamName);

TEST(AnalyserPieces, InsertDecimalPoint) {
    EXPECT_EQ(GetAnalyseBarCode::InsertDecimalPoint(u"12", 2), u".12");
    EXPECT_THROW(GetAnalyseBarCode::InsertDecimalPoint(u"1", 2), DbError);
}

}  // namespace
