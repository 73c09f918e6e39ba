// ParseBarCode per call on an embedded store file, against a floor that does the same mandatory
// work straight on libsqlite3: open the file, run each category's level query, close.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "service/analyser.h"
#include "store/connstring.h"
#include "store/module_state.h"
#include "store/schema.h"
#include "store/text.h"

namespace {

const std::string& StorePath() {
    static const std::string path = [] {
        auto p = std::filesystem::temp_directory_path() /
                 ("quorvel-bench-" + std::to_string(getpid()) + ".db");
        std::filesystem::remove(p);
        quorvel::CreateSqliteStore(p.string(), true);
        return p.string();
    }();
    return path;
}

void BM_ParseBarCode(benchmark::State& state) {
    quorvel::GetAnalyseBarCode analyser;
    analyser.ConnString(quorvel::EmbeddedConnString(StorePath()));
    const std::u16string code = u"2100123004567";
    for (auto _ : state) {
        std::u16string r = analyser.ParseBarCode(u"A,B", code, u"R01");
        if (r != u"00123,004.56") state.SkipWithError("wrong result");
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_ParseBarCode);

// The floor: the least any implementation must do per call.
void BM_FloorRawSqlite(benchmark::State& state) {
    const std::string path = StorePath();
    const char* sql[2] = {
        "select ifnull(startws,0) as startws,ifnull(endws,0) as endws,ifnull(xsws,0) as xsws,dnmid "
        "as "
        "dnmid from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid where lbid='A' and "
        "a.gzid='R01' limit 1",
        "select ifnull(startws,0) as startws,ifnull(endws,0) as endws,ifnull(xsws,0) as xsws,dnmid "
        "as "
        "dnmid from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid where lbid='B' and "
        "a.gzid='R01' limit 1",
    };
    for (auto _ : state) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            state.SkipWithError("open failed");
            break;
        }
        long sum = 0;
        for (const char* q : sql) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, q, -1, &st, nullptr);
            if (sqlite3_step(st) == SQLITE_ROW) {
                sum += sqlite3_column_int(st, 0) + sqlite3_column_int(st, 1) +
                       sqlite3_column_int(st, 2);
                sum += sqlite3_column_bytes(st, 3);
            }
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FloorRawSqlite);

}  // namespace

BENCHMARK_MAIN();
