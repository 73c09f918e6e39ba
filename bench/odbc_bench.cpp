// ParseBarCode per call over ODBC (SQLite3 driver; PostgreSQL through psqlODBC when
// QUORVEL_TEST_PG_CONN names a server; SQL Server through FreeTDS, with a host's connection string,
// when QUORVEL_TEST_TDS_CONN and QUORVEL_TEST_TDS_ODBC name one), against a floor that does the
// same mandatory work straight on the ODBC API: connect, run each category's level query and
// read its row, disconnect.
//
// unixODBC pools connections when its configuration says so, for the whole process; so one run
// measures one mode. QUORVEL_BENCH_POOLING=off measures without pooling, anything else with it;
// the mode is part of every benchmark's name. scripts/odbc-bench.sh runs both.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "service/analyser.h"
#include "store/connection.h"
#include "store/dialect.h"
#include "store/schema.h"
#include "store/text.h"

namespace {

using quorvel::Connection;
using quorvel::FromUtf8;

const std::u16string kBarcode = u"2100123004567";
const std::u16string kExpected = u"00123,004.56";

// The analyser's level query for one category, as the database's dialect has it.
std::u16string LevelQuery(char16_t category, quorvel::Dialect dialect) {
    std::u16string sql =
        u"select top 1 isnull(startws,0) as startws,isnull(endws,0) as endws,isnull(xsws,0) as "
        u"xsws,dnmid as dnmid from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid where lbid='";
    sql += category;
    sql += u"' and a.gzid='R01'";
    return quorvel::AdaptSql(sql, dialect);
}

struct Target {
    std::string name;
    std::u16string connString;
    quorvel::Dialect dialect;
    std::u16string floorConnString;  // the same database for the floor, as an ODBC string
};

void BM_ParseBarCode(benchmark::State& state, const Target& t) {
    quorvel::GetAnalyseBarCode analyser;
    analyser.ConnString(t.connString);
    for (auto _ : state) {
        std::u16string r = analyser.ParseBarCode(u"A,B", kBarcode, u"R01");
        if (r != kExpected) {
            state.SkipWithError("wrong result");
            break;
        }
        benchmark::DoNotOptimize(r);
    }
}

// The floor: one environment for the process, then per call what every implementation must do.
void BM_Floor(benchmark::State& state, const Target& t) {
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    const std::u16string queries[2] = {LevelQuery(u'A', t.dialect), LevelQuery(u'B', t.dialect)};
    const bool narrow = t.dialect == quorvel::Dialect::Sqlite;
    std::string narrowQueries[2] = {quorvel::ToUtf8(queries[0]), quorvel::ToUtf8(queries[1])};
    std::u16string cs = t.floorConnString;
    for (auto _ : state) {
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
                                         SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            state.SkipWithError("connect failed");
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
            break;
        }
        long sum = 0;
        for (const auto& q : queries) {
            SQLHSTMT st = SQL_NULL_HSTMT;
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
            // SQLite's driver takes UTF-8 directly; the others take UTF-16.
            if (narrow) {
                SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(narrowQueries[&q - queries].data()),
                              SQL_NTS);
            } else {
                std::u16string text = q;
                SQLExecDirectW(st, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
            }
            if (SQLFetch(st) == SQL_SUCCESS) {
                SQLBIGINT v = 0;
                SQLLEN ind = 0;
                for (SQLUSMALLINT c = 1; c <= 3; ++c) {
                    SQLGetData(st, c, SQL_C_SBIGINT, &v, sizeof(v), &ind);
                    sum += v;
                }
                SQLWCHAR dnmid[64];
                SQLGetData(st, 4, narrow ? SQL_C_CHAR : SQL_C_WCHAR, dnmid, sizeof(dnmid), &ind);
                sum += ind;
            }
            SQLFreeHandle(SQL_HANDLE_STMT, st);
        }
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        benchmark::DoNotOptimize(sum);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void Fill(const std::u16string& cs, quorvel::Dialect dialect) {
    Connection c;
    c.Open(cs);
    quorvel::CreateSchema(c, dialect);
    quorvel::InsertDemoData(c);
    c.Close();
}

void Admin(const std::u16string& cs, const std::u16string& sql) {
    Connection c;
    c.Open(cs);
    c.Execute(sql);
    c.Close();
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = std::getenv("QUORVEL_BENCH_POOLING");
    const bool pooled = !(mode && std::string(mode) == "off");
    const std::string suffix = pooled ? "_pooled" : "_unpooled";

    // The driver manager's configuration for this run, before anything touches ODBC.
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("quorvel-odbc-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::ofstream ini(dir / "odbcinst.ini");
        ini << "[ODBC]\nPooling=" << (pooled ? "Yes" : "No") << "\n\n"
            << "[SQLite3]\nDriver=libsqlite3odbc.so\nCPTimeout=120\n\n"
            << "[PostgreSQL Unicode]\nDriver=psqlodbcw.so\nCPTimeout=120\n\n"
            << "[FreeTDS]\nDriver=libtdsodbc.so\nCPTimeout=120\n";
        std::ofstream(dir / "odbc.ini");
    }
    setenv("ODBCSYSINI", dir.c_str(), 1);

    std::vector<Target> targets;
    const std::string file = (dir / "rules.db").string();
    const std::u16string sqlite = u"Driver={SQLite3};Database=" + FromUtf8(file);
    targets.push_back({"Sqlite3", sqlite, quorvel::Dialect::Sqlite, sqlite});
    const std::u16string db = u"quorvel_bench_" + quorvel::ToU16(getpid());
    // Each server's administrative connection, and the statement that drops the database.
    std::vector<std::pair<std::u16string, std::u16string>> drops;
    if (const char* pg = std::getenv("QUORVEL_TEST_PG_CONN")) {
        const std::u16string cs = FromUtf8(pg) + u";Database=" + db;
        targets.push_back({"PostgreSql", cs, quorvel::Dialect::PostgreSql, cs});
        drops.push_back({FromUtf8(pg) + u";Database=postgres",
                         u"DROP DATABASE IF EXISTS " + db + u" WITH (FORCE)"});
    }
    const char* tds = std::getenv("QUORVEL_TEST_TDS_CONN");
    const char* tdsOdbc = std::getenv("QUORVEL_TEST_TDS_ODBC");
    if (tds && tdsOdbc) {
        targets.push_back({"SqlServer", FromUtf8(tds) + u";Initial Catalog=" + db,
                           quorvel::Dialect::SqlServer, FromUtf8(tdsOdbc) + u";Database=" + db});
        drops.push_back({FromUtf8(tdsOdbc) + u";Database=master", u"DROP DATABASE " + db});
    }

    int rc = 0;
    try {
        for (const auto& [admin, drop] : drops) Admin(admin, u"CREATE DATABASE " + db);
        for (const auto& t : targets) {
            Fill(t.connString, t.dialect);
            benchmark::RegisterBenchmark(("BM_OdbcParseBarCode/" + t.name + suffix).c_str(),
                                         BM_ParseBarCode, t);
            benchmark::RegisterBenchmark(("BM_OdbcFloor/" + t.name + suffix).c_str(), BM_Floor, t);
        }
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odbc_bench: %s\n", e.what());
        rc = 1;
    }
    for (const auto& [admin, drop] : drops) {
        try {
            Admin(admin, drop);
        } catch (...) {
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
