// Host connection strings as the ODBC backend hands them to the driver manager.
#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "store/connection.h"
#include "store/error.h"
#include "store/odbc_backend.h"
#include "store/odbc_connstring.h"
#include "store/text.h"

using namespace quorvel;

namespace {

using Drivers = std::vector<std::u16string>;
const Drivers kLinux18{u"SQLite3", u"ODBC Driver 18 for SQL Server", u"FreeTDS"};
const Drivers kLinux17{u"PostgreSQL Unicode", u"odbc driver 17 for sql server"};
const Drivers kLinuxTds{u"FreeTDS", u"SQLite3"};
const Drivers kWindowsPlain{u"SQL Server", u"Microsoft Access Driver (*.mdb)"};
const Drivers kNone{u"SQLite3"};

struct Case {
    const char* name;
    std::u16string input;
    Drivers installed;
    OdbcPlatform platform;
    std::u16string connect;        // expected; empty with `other` for strings ODBC does not take
    std::optional<int> timeout{};  // expected login timeout from the string
    bool other = false;
};

std::optional<OdbcConnect> Translate(const std::u16string& s, const Drivers& d, OdbcPlatform p) {
    return TranslateConnString(
        ConnString::Parse(s), s, [&] { return d; }, p);
}

constexpr auto L = OdbcPlatform::Linux;
constexpr auto Win = OdbcPlatform::Windows;

TEST(OdbcConnString, TranslatesEveryKindOfHostString) {
    const std::vector<Case> cases = {
        // The host's usual string, with the keys in the order its layer writes them.
        {"sqloledb with version",
         u"Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=pw;Initial "
         u"Catalog=shop;Data Source=srv\\SQLEXPRESS",
         kLinux17, L,
         u"Driver={odbc driver 17 for sql "
         u"server};UID=sa;PWD=pw;Database=shop;Server=srv\\SQLEXPRESS"},
        {"driver 18 keeps the old providers unencrypted",
         u"Provider=SQLOLEDB;Data Source=srv;Initial Catalog=shop;Integrated Security=SSPI",
         kLinux18, L,
         u"Driver={ODBC Driver 18 for SQL "
         u"Server};Server=srv;Database=shop;Trusted_Connection=Yes;Encrypt=no"},
        {"an explicit Encrypt wins",
         u"Provider=MSOLEDBSQL;Server=srv;Database=d;Encrypt=yes;TrustServerCertificate=yes",
         kLinux18, L,
         u"Driver={ODBC Driver 18 for SQL "
         u"Server};Server=srv;Database=d;Encrypt=yes;TrustServerCertificate=yes"},
        {"msoledbsql19 encrypts as driver 18 does", u"Provider=MSOLEDBSQL19.1;Data Source=srv",
         kLinux18, L, u"Driver={ODBC Driver 18 for SQL Server};Server=srv"},
        {"sqlncli11",
         u"Provider=SQLNCLI11;Data Source=srv;User ID=u;Password=p;Application Name=till "
         u"3;Workstation ID=POS3",
         kWindowsPlain, Win, u"Driver={SQL Server};Server=srv;UID=u;PWD=p;APP=till 3;WSID=POS3"},
        {"sqlncli10 lower case", u"provider=sqlncli10.1;data source=srv", kWindowsPlain, Win,
         u"Driver={SQL Server};Server=srv"},
        {"sqlncli", u"Provider=SQLNCLI;Data Source=srv", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=srv"},
        {"integrated security off is dropped",
         u"Provider=SQLOLEDB;Data Source=s;Integrated Security=false", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=s"},
        {"connect timeout becomes the login timeout",
         u"Provider=SQLOLEDB;Data Source=s;Connect Timeout=7", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=s", 7},
        {"a later key overrides an earlier one",
         u"Provider=SQLOLEDB;Data Source=a;Server=b;Database=x;Initial Catalog=y", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=b;Database=y"},
        // Values with the characters that separate pairs, written in each quoting the host allows.
        {"double-quoted value with ; and =", u"Provider=SQLOLEDB;Data Source=s;Password=\"a;b=c\"",
         kLinux17, L, u"Driver={odbc driver 17 for sql server};Server=s;PWD={a;b=c}"},
        {"single-quoted value with a doubled quote",
         u"Provider=SQLOLEDB;Data Source=s;Password='it''s'", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=s;PWD=it's"},
        {"braced value with a closing brace", u"Provider=SQLOLEDB;Data Source=s;Password={x}}y;z}",
         kLinux17, L, u"Driver={odbc driver 17 for sql server};Server=s;PWD={x}}y;z}"},
        {"blanks kept inside quotes", u"Provider=SQLOLEDB;Data Source=s;Password=\" p \"", kLinux17,
         L, u"Driver={odbc driver 17 for sql server};Server=s;PWD={ p }"},
        {"an opening brace is braced", u"Provider=SQLOLEDB;Data Source=s;User ID=\"{u\"", kLinux17,
         L, u"Driver={odbc driver 17 for sql server};Server=s;UID={{u}"},
        {"unknown keys pass on", u"Provider=SQLOLEDB;Data Source=s;Failover Partner=t", kLinux17, L,
         u"Driver={odbc driver 17 for sql server};Server=s;Failover Partner=t"},
        // FreeTDS wants host and port apart and knows no "(local)".
        {"freetds host and port",
         u"Provider=SQLOLEDB;Data Source=tcp:db.shop,1444;Initial Catalog=pos;Network "
         u"Library=DBMSSOCN",
         kLinuxTds, L, u"Driver={FreeTDS};Server=db.shop;Port=1444;Database=pos"},
        {"freetds local instance", u"Provider=SQLOLEDB;Data Source=(local)\\SQLEXPRESS;Encrypt=yes",
         kLinuxTds, L, u"Driver={FreeTDS};Server=localhost\\SQLEXPRESS;Encryption=require"},
        {"freetds dot", u"Provider=SQLOLEDB;Data Source=.", kLinuxTds, L,
         u"Driver={FreeTDS};Server=localhost"},
        // The ODBC provider: its own keys renamed, or an ODBC string of its own.
        {"msdasql with a dsn",
         u"Provider=MSDASQL.1;Persist Security Info=False;Data Source=shop;User ID=u;Password=p",
         kNone, L, u"DSN=shop;UID=u;PWD=p"},
        {"msdasql with extended properties",
         u"Provider=MSDASQL;Extended Properties=\"DSN=shop;UID=u;PWD={a;b}\";Connect Timeout=3",
         kNone, L, u"DSN=shop;UID=u;PWD={a;b}", 3},
        {"msdasql with a driver", u"Provider=MSDASQL;Driver={SQLite3};Database=/tmp/x y.db", kNone,
         L, u"Driver={SQLite3};Database=/tmp/x y.db"},
        // ODBC strings go as they are, byte for byte.
        {"dsn string", u"DSN=shop;UID=u;PWD={p;q}", kNone, L, u"DSN=shop;UID=u;PWD={p;q}"},
        {"driver string", u"Driver={SQLite3};Database=/tmp/a.db;Timeout=100", kNone, L,
         u"Driver={SQLite3};Database=/tmp/a.db;Timeout=100"},
        {"file dsn", u"FILEDSN=/etc/shop.dsn", kNone, L, u"FILEDSN=/etc/shop.dsn"},
        // The embedded store keeps its own strings; other providers are left to other backends.
        {"embedded", u"Provider=SQLite;Data Source=/tmp/a.db", kNone, L, u"", std::nullopt, true},
        {"jet", u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\shop.mdb", kLinux18, L, u"",
         std::nullopt, true},
        {"oracle", u"Provider=OraOLEDB.Oracle;User ID=u;Password=p", kLinux18, L, u"", std::nullopt,
         true},
        {"empty provider", u"Provider=;DSN=x", kLinux18, L, u"", std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = Translate(c.input, c.installed, c.platform);
        if (c.other) {
            EXPECT_FALSE(r);
            continue;
        }
        ASSERT_TRUE(r);
        EXPECT_EQ(ToUtf8(r->connect), ToUtf8(c.connect));
        EXPECT_EQ(r->loginTimeout, c.timeout);
    }
}

TEST(OdbcConnString, StringsThatNameNothingUsableFailClearlyWithoutTheirPassword) {
    struct Bad {
        std::u16string input;
        Drivers installed;
        const char16_t* says;
    };
    const std::vector<Bad> cases = {
        {u"Data Source=srv;User ID=u;Password=secret1", kLinux18,
         u"names no provider, data source or driver"},
        {u"", kLinux18, u"names no provider"},
        {u"Provider=SQLOLEDB;Data Source=srv;Password=secret1", kNone,
         u"No ODBC driver for SQL Server is installed (looked for ODBC Driver 18 for SQL Server, "
         u"ODBC Driver 17 for SQL Server, FreeTDS)"},
        {u"Provider=SQLOLEDB;Data Source=srv;Connect Timeout=soon;Password=secret1", kLinux18,
         u"Invalid value for Connect Timeout: soon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.input));
        try {
            Translate(c.input, c.installed, L);
            ADD_FAILURE() << "no failure";
        } catch (const DbError& e) {
            EXPECT_NE(e.Description().find(c.says), std::u16string::npos) << e.what();
            EXPECT_EQ(e.Description().find(u"secret1"), std::u16string::npos) << e.what();
        }
    }
}

TEST(OdbcConnString, AsksForTheInstalledDriversOnlyWhenItMustChooseOne) {
    int asked = 0;
    auto lister = [&] {
        ++asked;
        return kLinux18;
    };
    for (const char16_t* s :
         {u"DSN=x", u"Provider=MSDASQL;DSN=x", u"Provider=SQLite;Data Source=x"}) {
        TranslateConnString(ConnString::Parse(s), s, lister, L);
    }
    EXPECT_EQ(asked, 0);
    const char16_t* sql = u"Provider=SQLOLEDB;Data Source=x";
    TranslateConnString(ConnString::Parse(sql), sql, lister, L);
    EXPECT_EQ(asked, 1);
}

TEST(OdbcConnString, ValuesAreBracedOnlyWhenTheyCouldBeMisread) {
    for (auto [value, written] : {std::pair{u"plain value", u"plain value"},
                                  {u"", u""},
                                  {u"a;b", u"{a;b}"},
                                  {u"a=b", u"{a=b}"},
                                  {u"}", u"{}}}"},
                                  {u" lead", u"{ lead}"},
                                  {u"trail ", u"{trail }"}})
        EXPECT_EQ(OdbcValue(value), written);
}

TEST(OdbcConnString, TheSqliteDriversWaitForALockNoLongerThanTheCommandTimeout) {
    for (auto [seconds, ms] : {std::pair{30, u"100"}, {0, u"2147483647"}, {9999999, u"100"}})
        EXPECT_EQ(WithDriverBusyTimeout(u"Driver={SQLite3};Database=a.db", seconds),
                  u"Driver={SQLite3};Database=a.db;Timeout=" + std::u16string(ms));
    EXPECT_EQ(WithDriverBusyTimeout(u"DRIVER=sqlite;Database=a.db;", 1),
              u"DRIVER=sqlite;Database=a.db;Timeout=100");
    // The string's own value wins; other drivers and data sources are left alone.
    for (const char16_t* s :
         {u"Driver={SQLite3};timeout=5", u"Driver={PostgreSQL};Server=h", u"DSN=a"})
        EXPECT_EQ(WithDriverBusyTimeout(s, 30), s);
}

TEST(OdbcConnString, MasksPasswordsInAnyText) {
    auto cs = ConnString::Parse(
        u"Provider=MSDASQL;Password=topsecret;Extended Properties=\"DSN=x;PWD=inner-pw\";PWD=xy");
    const auto secrets = SecretsOf(cs);
    EXPECT_EQ(secrets, (std::vector<std::u16string>{u"topsecret", u"xy", u"inner-pw"}));
    const struct {
        const char16_t* text;
        std::vector<std::u16string> secrets;
        const char16_t* masked;
    } cases[] = {
        {u"login failed: topsecret and inner-pw", secrets, u"login failed: **** and ****"},
        {u"user abc: bad password abc", {u"abc"}, u"user ****: bad password ****"},
        // A two-letter secret is too short to hunt down everywhere, but never survives as a value.
        {u"proxy said xy", secrets, u"proxy said xy"},
        {u"bad string DSN=x;pwd=xy;UID=u", secrets, u"bad string DSN=x;pwd=****;UID=u"},
        {u"Password={a;}}b};x", {}, u"Password=****;x"},
        {u"PWD=", {}, u"PWD=****"},
        {u"nothing to hide", secrets, u"nothing to hide"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(MaskSecrets(c.text, c.secrets)), ToUtf8(c.masked));
}

TEST(OdbcConnString, AProviderNoBackendKnowsFailsToOpenNamingItNotThePassword) {
    for (const auto& [input, name] : {
             std::pair{
                 u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\shop.mdb;Jet OLEDB:Database "
                 u"Password=secret1",
                 u"Microsoft.Jet.OLEDB.4.0"},
             std::pair{u"Provider= OraOLEDB.Oracle ;User ID=u;Password=secret1",
                       u"OraOLEDB.Oracle"},
             std::pair{u"Provider=;Password=secret1", u""},
         }) {
        Connection c;
        try {
            c.Open(input);
            ADD_FAILURE() << "opened " << ToUtf8(input);
        } catch (const DbError& e) {
            EXPECT_EQ(e.Number(), err::kProviderNotFound);
            std::u16string expected = err::Describe(err::kProviderNotFound);
            if (*name) expected += u" (" + std::u16string(name) + u")";
            EXPECT_EQ(e.Description(), expected);
        }
    }
}

TEST(OdbcConnString, TheDriverManagersOwnFailureNeverShowsThePassword) {
    Connection c;
    try {
        c.Open(u"Driver={No Such Driver 9};UID=u;PWD=hunter2-secret");
        ADD_FAILURE() << "opened";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.Description().empty());
        EXPECT_EQ(e.Description().find(u"hunter2-secret"), std::u16string::npos) << e.what();
    }
    EXPECT_EQ(c.State(), kStateClosed);
}

// Hosts open connections on several threads at once: each sees the whole list of drivers, which
// a host's SQL Server string needs to find its driver.
TEST(OdbcDrivers, ThreadsListingAtOnceEachSeeThemAll) {
    const std::vector<std::u16string> all = InstalledOdbcDrivers();
    if (all.empty()) GTEST_SKIP() << "no ODBC driver is registered";
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) wrong[t] += InstalledOdbcDrivers() != all;
        });
    }
    for (auto& t : threads) t.join();
    for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
