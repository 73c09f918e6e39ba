// Against a real PostgreSQL server through psqlODBC: refused logins, an unused port, the server
// going away between two calls, and a failed statement inside a transaction.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "service/analyser.h"
#include "store/connstring.h"
#include "store/db_helpers.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/odbc_connstring.h"
#include "support.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

constexpr char16_t kConnectFailed[] = u"数据库连接失败,请与管理员联系!";

// The base string with one key's value replaced (or added).
std::u16string WithKey(const std::u16string& base, std::u16string_view key, std::u16string value) {
    std::u16string out;
    bool done = false;
    const ConnString parsed = ConnString::Parse(base);
    for (const auto& p : parsed.Pairs()) {
        std::u16string v = p.value;
        if (EqualsNoCase(p.key, key)) {
            v = value;
            done = true;
        }
        if (!out.empty()) out += u';';
        out += p.key + u"=" + (EqualsNoCase(p.key, u"Driver") ? u"{" + v + u"}" : OdbcValue(v));
    }
    if (!done) {
        out += u';';  // piece by piece: GCC 12 at -O3 misreads a prefix + text as an overlap
        out += key;
        out += u'=';
        out += OdbcValue(value);
    }
    return out;
}

// A loopback port that nothing listens on (bound, read, released).
int UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

std::unique_ptr<TestStore> PostgresStoreFor(Schema schema) {
    for (auto& t : Targets()) {
        if (t.name == "PostgreSql") return t.create(schema);
    }
    return nullptr;
}

bool ServerControl(const char* command) {
    const char* script = std::getenv("QUORVEL_TEST_PG_SCRIPT");
    const char* dir = std::getenv("QUORVEL_TEST_PG_DIR");
    if (!script || !dir) return false;
    std::string cmd = std::string("'") + script + "' " + command + " '" + dir + "' >/dev/null";
    return std::system(cmd.c_str()) == 0;
}

class PgServer : public ::testing::Test {
  protected:
    void SetUp() override {
        base = PostgresBaseConnString();
        if (base.empty()) GTEST_SKIP() << "no PostgreSQL server was started for the tests";
        password = *ConnString::Parse(base).Get(u"PWD");
    }
    void TearDown() override {
        CloseConnection();
        Module() = ModuleState{};
    }
    // No box and no failure description may carry either password.
    void ExpectNoPassword(const std::u16string& text, const std::u16string& other = u"") {
        EXPECT_EQ(text.find(password), std::u16string::npos) << ToUtf8(text);
        if (!other.empty()) {
            EXPECT_EQ(text.find(other), std::u16string::npos) << ToUtf8(text);
        }
    }
    std::u16string OpenFailure(const std::u16string& cs) {
        Connection c;
        c.ConnectionTimeout = 5;
        try {
            c.Open(cs);
        } catch (const DbError& e) {
            return e.Description();
        }
        ADD_FAILURE() << "opened " << ToUtf8(cs);
        return u"";
    }
    std::u16string base;
    std::u16string password;
    RecordingBoxes boxes;
};

TEST_F(PgServer, AWrongPasswordOrAnUnusedPortFailsToOpen) {
    const std::u16string wrong = u"not-the-password-42";
    const std::u16string badPassword = WithKey(base + u";Database=postgres", u"PWD", wrong);
    const std::u16string badPort =
        WithKey(base + u";Database=postgres", u"Port", ToU16(UnusedPort()));

    Module().ConnectionTime = 5;
    EXPECT_FALSE(OpenConnection(badPassword));
    EXPECT_FALSE(OpenConnection(badPort));
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& b : boxes.boxes) {
        EXPECT_EQ(b.prompt, kConnectFailed);
        EXPECT_EQ(b.buttons, 48);
        EXPECT_EQ(b.title, u"错误：");
    }
    EXPECT_EQ(Module().DbConn->State(), kStateClosed);

    // What the layer underneath says is the driver's own account of it, with no password.
    std::u16string why = OpenFailure(badPassword);
    EXPECT_NE(why.find(u"password authentication failed"), std::u16string::npos) << ToUtf8(why);
    ExpectNoPassword(why, wrong);
    why = OpenFailure(badPort);
    EXPECT_FALSE(why.empty());
    ExpectNoPassword(why);
    // The right password still opens: the failures above were the password's and the port's.
    EXPECT_TRUE(OpenConnection(base + u";Database=postgres"));
}

// A server that takes the connection and never answers: only the login timeout ends the wait.
TEST_F(PgServer, TheLoginTimeoutEndsAnOpenThatGetsNoAnswer) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const std::u16string silent =
        WithKey(base + u";Database=postgres", u"Port", ToU16(ntohs(a.sin_port)));

    for (const auto& [timeout, cs] :
         {std::pair{int16_t{1}, silent},
          // The string's own timeout is used when it has one.
          std::pair{int16_t{0}, u"Provider=MSDASQL;Connect Timeout=1;" + silent}}) {
        Module().ConnectionTime = timeout;
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(OpenConnection(cs));
        // Without the timeout the open would wait for ever; the bound is only against that.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    }
    close(fd);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].prompt, kConnectFailed);
}

class PgServerStopped : public PgServer {
  protected:
    void TearDown() override {
        // Whatever happened, the other tests need their server back.
        if (!base.empty()) {
            EXPECT_TRUE(ServerControl("start"));
        }
        PgServer::TearDown();
        store.reset();
    }
    std::unique_ptr<TestStore> store;
};

TEST_F(PgServerStopped, HelpersShowTheDriversDescriptionAndReturnHarmlessValues) {
    if (!std::getenv("QUORVEL_TEST_PG_SCRIPT")) GTEST_SKIP() << "the test server cannot be stopped";
    store = PostgresStoreFor(Schema::Ours);
    store->Exec(
        {u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('R01','n','21',10)",
         u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R01',1,'A',1,5,0,'')",
         u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
         u"('R01',2,'B',6,10,2,'')"});
    GetAnalyseBarCode analyser;
    analyser.ConnString(store->ConnString());
    analyser.ConnectionTime(5);
    EXPECT_EQ(analyser.ParseBarCode(u"A,B", u"2100123004567", u"R01"), u"00123,004.56");
    EXPECT_EQ(analyser.StoreCode(u"R01"), u"21");
    ASSERT_TRUE(boxes.boxes.empty());

    ASSERT_TRUE(ServerControl("stop"));
    // The shared connection is still the open object; every use of it now fails.
    EXPECT_TRUE(GetFieldValue(u"select dnmid from txm_gzzb where gzid='R01'", u"dnmid").IsEmpty());
    EXPECT_EQ(GetRecordCount(u"select * from txm_gzmx"), 0);
    EXPECT_FALSE(OpenReadOnlyRs(u"select * from txm_gzmx"));
    EXPECT_EQ(analyser.StoreCode(u"R01"), u"");
    ASSERT_EQ(boxes.boxes.size(), 4u);
    const std::vector<std::pair<int, std::u16string>> expected = {
        {48, u"系统提示"}, {48, u"系统提示"}, {16, u"Error:"}, {48, u"系统提示"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes.boxes[i].buttons, expected[i].first);
        EXPECT_EQ(boxes.boxes[i].title, expected[i].second);
        // The driver's description, not one of the layer's own.
        EXPECT_FALSE(boxes.boxes[i].prompt.empty());
        EXPECT_NE(boxes.boxes[i].prompt, err::Describe(err::kConnectionInvalid));
        EXPECT_NE(boxes.boxes[i].prompt, err::Describe(err::kProviderError));
        ExpectNoPassword(boxes.boxes[i].prompt);
    }
    // A new call cannot connect: it says so and still returns its text.
    EXPECT_EQ(analyser.ParseBarCode(u"A,B", u"2100123004567", u"R01"), u"");
    ASSERT_EQ(boxes.boxes.size(), 5u);
    EXPECT_EQ(boxes.boxes[4].prompt, kConnectFailed);

    // Back again: the next call works, pooled connections from before the stop notwithstanding.
    ASSERT_TRUE(ServerControl("start"));
    EXPECT_EQ(analyser.ParseBarCode(u"A,B", u"2100123004567", u"R01"), u"00123,004.56");
    EXPECT_EQ(boxes.boxes.size(), 5u);
}

// A statement that fails inside a transaction undoes only itself, as on the host's server; the
// rollback that the failure handlers run then leaves nothing behind either.
TEST_F(PgServer, AFailedStatementInATransactionUndoesOnlyItself) {
    auto store = PostgresStoreFor(Schema::Ours);
    ASSERT_TRUE(OpenConnection(store->ConnString()));
    auto& conn = DbConn();
    conn.BeginTrans();
    conn.Execute(u"insert into txm_gzzb (gzid,gzname,dnmid) values ('T2','n','2')");
    EXPECT_THROW(conn.Execute(u"insert into no_such_table values (1)"), DbError);
    conn.Execute(u"insert into txm_gzzb (gzid) values ('T3')");
    EXPECT_EQ(GetRecordCount(u"select * from txm_gzzb"), 2);
    conn.RollbackTrans();
    EXPECT_EQ(GetRecordCount(u"select * from txm_gzzb"), 0);

    // Back in autocommit: a single statement stays, and another connection sees it.
    conn.Execute(u"insert into txm_gzzb (gzid,gzname,dnmid) values ('T4','n','2')");
    CloseConnection();
    ASSERT_TRUE(OpenConnection(store->ConnString()));
    EXPECT_EQ(GetRecordCount(u"select * from txm_gzzb"), 1);
    EXPECT_EQ(GetFieldValue(u"select gzid from txm_gzzb", u"gzid").ToText(), u"T4");
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
