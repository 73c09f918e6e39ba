#include "support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "store/connection.h"
#include "store/connstring.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/schema.h"
#include "store/text.h"
#if QUORVEL_WITH_ODBC
#include "store/odbc_backend.h"
#endif

namespace quorvel::test {

RecordingBoxes::RecordingBoxes() {
    SetMessageBoxes(this);
}
RecordingBoxes::~RecordingBoxes() {
    SetMessageBoxes(nullptr);
}

int RecordingBoxes::Show(std::u16string_view prompt, int buttons, std::u16string_view title) {
    boxes.push_back({std::u16string(prompt), buttons, std::u16string(title)});
    if ((buttons & 7) == mb::kYesNo) {
        if (answers.empty()) return mb::kNo;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    return mb::kOk;
}

void TestStore::Exec(const std::vector<std::u16string>& statements) {
    Connection c;
    c.Open(ConnString());
    for (const auto& s : statements) c.Execute(s);
    c.Close();
}

namespace {

// The process's own temporary folder, made afresh (never one a reused process id left behind)
// and removed with everything in it when the process ends, whether its tests passed or not.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvel-tests-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed: " + pattern);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace

std::string TempPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    static TempFolder folder;
    return (folder.path() / (stem + "-" + std::to_string(counter++))).string();
}

std::vector<std::u16string> HostSchemaStatements(bool untyped) {
    // Hosts that made their tables by hand on SQLite sometimes left the types out.
    return {
        untyped ? u"create table txm_gzzb (gzid varchar(20), gzname, dnmid, txmzws int)"
                : u"create table txm_gzzb (gzid varchar(20), gzname varchar(50), dnmid "
                  u"varchar(20), txmzws int)",
        u"create table txm_gzmx (gzid varchar(20), js int, lbid varchar(20), startws int, endws "
        u"int, "
        u"xsws int, bz varchar(50))",
        u"create table glsx (id varchar(20), name varchar(50), fid int)",
    };
}

namespace {

class SqliteStore final : public TestStore {
  public:
    explicit SqliteStore(Schema schema) : path_(TempPath("store") + ".db") {
        CreateSqliteStore(path_, false);
        if (schema == Schema::Host) {
            // Replace the project's tables by plain ones, as a host may have made them.
            Exec({u"drop table txm_gzzb", u"drop table txm_gzmx", u"drop table glsx"});
            Exec(HostSchemaStatements(true));
        }
    }
    ~SqliteStore() override {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    std::u16string ConnString() const override { return EmbeddedConnString(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

#if QUORVEL_WITH_ODBC

void MakeTables(Connection& c, Schema schema, Dialect dialect) {
    if (schema == Schema::Ours) {
        CreateSchema(c, dialect);
    } else {
        for (const auto& s : HostSchemaStatements(dialect == Dialect::Sqlite)) c.Execute(s);
    }
}

// A database file reached through the SQLite3 ODBC driver, which creates it on first connect.
class OdbcSqliteStore final : public TestStore {
  public:
    explicit OdbcSqliteStore(Schema schema) : path_(TempPath("odbc-store") + ".db") {
        Connection c;
        c.Open(ConnString());
        MakeTables(c, schema, Dialect::Sqlite);
        c.Close();
    }
    ~OdbcSqliteStore() override {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    std::u16string ConnString() const override {
        return u"Driver={SQLite3};Database=" + FromUtf8(path_);
    }

  private:
    std::string path_;
};

// A fresh database on a test server for each store, dropped afterwards (pooled sessions may
// still use it: a drop that fails leaves it to the server, which is thrown away at the end).
struct ServerKind {
    Dialect dialect;
    const char16_t* catalogKey;    // how the connection string names the database
    const char16_t* adminCatalog;  // the database the administrative statements run in
    const char16_t* dropFirst;     // before its name, or nothing: a leftover of a reused pid
    const char16_t* drop;          // before its name
    const char16_t* dropAfter;     // after its name
};
constexpr ServerKind kPostgres{
    Dialect::PostgreSql,         u";Database=",   u"postgres", u"DROP DATABASE IF EXISTS ",
    u"DROP DATABASE IF EXISTS ", u" WITH (FORCE)"};
// Reached with a host's own connection string: `base` names the provider, server and login.
constexpr ServerKind kSqlServer{
    Dialect::SqlServer, u";Initial Catalog=", u"master", nullptr, u"DROP DATABASE ", u""};

class ServerStore final : public TestStore {
  public:
    ServerStore(const ServerKind& kind, std::u16string base, Schema schema)
        : kind_(kind), base_(std::move(base)) {
        static std::atomic<int> counter{0};
        name_ = u"quorvel_t" + ToU16(getpid()) + u"_" + ToU16(counter++);
        if (kind_.dropFirst) Admin(kind_.dropFirst + name_ + kind_.dropAfter);
        Admin(u"CREATE DATABASE " + name_);
        Connection c;
        c.Open(ConnString());
        MakeTables(c, schema, kind_.dialect);
        c.Close();
    }
    ~ServerStore() override {
        try {
            Admin(kind_.drop + name_ + kind_.dropAfter);
        } catch (...) {
        }
    }
    std::u16string ConnString() const override { return base_ + kind_.catalogKey + name_; }

  private:
    void Admin(const std::u16string& sql) const {
        Connection c;
        c.Open(base_ + kind_.catalogKey + kind_.adminCatalog);
        c.Execute(sql);
        c.Close();
    }
    const ServerKind& kind_;
    std::u16string base_;
    std::u16string name_;
};

bool DriverInstalled(std::u16string_view name) {
    try {
        for (const auto& d : InstalledOdbcDrivers()) {
            if (EqualsNoCase(d, name)) return true;
        }
    } catch (...) {
    }
    return false;
}

#endif

}  // namespace

std::u16string PostgresBaseConnString() {
    const char* pg = std::getenv("QUORVEL_TEST_PG_CONN");
    return pg ? FromUtf8(pg) : u"";
}

std::vector<Target>& Targets() {
    static std::vector<Target> targets = [] {
        std::vector<Target> t{
            {"Embedded", [](Schema s) { return std::make_unique<SqliteStore>(s); }},
        };
#if QUORVEL_WITH_ODBC
        if (DriverInstalled(u"SQLite3")) {
            t.push_back(
                {"OdbcSqlite3", [](Schema s) { return std::make_unique<OdbcSqliteStore>(s); }});
        }
        std::u16string pg = PostgresBaseConnString();
        if (!pg.empty()) {
            t.push_back({"PostgreSql", [pg](Schema s) {
                             return std::make_unique<ServerStore>(kPostgres, pg, s);
                         }});
        }
        if (const char* tds = std::getenv("QUORVEL_TEST_TDS_CONN")) {
            t.push_back({"SqlServer", [base = FromUtf8(tds)](Schema s) {
                             return std::make_unique<ServerStore>(kSqlServer, base, s);
                         }});
        }
#endif
        return t;
    }();
    return targets;
}

void AddTarget(Target t) {
    Targets().push_back(std::move(t));
}

std::vector<StoreParam> EveryTargetAndSchema() {
    std::vector<StoreParam> p;
    for (size_t i = 0; i < Targets().size(); ++i) {
        p.push_back({i, Schema::Ours});
        p.push_back({i, Schema::Host});
    }
    return p;
}

void PrintTo(const StoreParam& p, std::ostream* os) {
    *os << StoreParamName({p, 0});
}

std::string StoreParamName(const ::testing::TestParamInfo<StoreParam>& info) {
    return Targets()[info.param.target].name +
           (info.param.schema == Schema::Ours ? "_OurSchema" : "_HostSchema");
}

}  // namespace quorvel::test
