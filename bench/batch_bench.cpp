// quorvel batch's work on a file of ten million barcodes: the compiled rule against a floor that
// reads the same lines and writes the same bytes with the positions hard-coded, and against the
// per-call ParseBarCode path on the same store (timed on fewer barcodes; the rate compares).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "service/analyser.h"
#include "service/compiled_rule.h"
#include "store/connstring.h"
#include "store/db_helpers.h"
#include "store/module_state.h"
#include "store/schema.h"
#include "store/text.h"

namespace {

constexpr long kBarcodes = 10'000'000;
constexpr long kPerCallBarcodes = 2'000;

constexpr long kLabels = 5'000'000;

struct Files {
    std::filesystem::path dir, store, input, labels;
    Files() {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-batch-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        store = dir / "rules.db";
        input = dir / "barcodes.txt";
        quorvel::CreateSqliteStore(store.string(), true);
        // In-store code 21, five digits of item code, five of amount, a check digit.
        std::FILE* f = std::fopen(input.string().c_str(), "wb");
        std::string line = "2100000000000\n";
        unsigned x = 12345;
        std::vector<char> block;
        for (long i = 0; i < kBarcodes; ++i) {
            for (int k = 2; k < 13; ++k) {
                x = x * 1103515245u + 12345u;
                line[k] = static_cast<char>('0' + (x >> 16) % 10);
            }
            block.insert(block.end(), line.begin(), line.end());
            if (block.size() > (1 << 20)) {
                std::fwrite(block.data(), 1, block.size(), f);
                block.clear();
            }
        }
        std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
        // GS1 DataBar Expanded labels as a scanner sends them: identifier, GTIN, net weight,
        // price, GS, expiry, batch; a GS1 rule takes the GTIN, the weight and the price.
        std::vector<std::u16string> rule = {
            u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('G1','fresh','',0)",
            u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
            u"('G1',1,'A',0,-1,0,'GS1:01')",
            u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
            u"('G1',2,'W',0,-1,0,'GS1:3103')",
            u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
            u"('G1',3,'B',0,-1,0,'GS1:3922')"};
        quorvel::OpenConnection(ConnString());
        for (const auto& sql : rule) quorvel::Module().DbConn->Execute(sql);
        quorvel::CloseConnection();
        labels = dir / "labels.txt";
        f = std::fopen(labels.string().c_str(), "wb");
        std::string label =
            "]e00109501101530003310300125039221234\x1d"
            "1727011510AB12\n";
        block.clear();
        for (long i = 0; i < kLabels; ++i) {
            for (int k : {7, 9, 11, 13, 15, 17, 23, 24, 25, 26, 27, 28, 33, 34, 35, 36}) {
                x = x * 1103515245u + 12345u;
                label[static_cast<size_t>(k)] = static_cast<char>('0' + (x >> 16) % 10);
            }
            block.insert(block.end(), label.begin(), label.end());
            if (block.size() > (1 << 20)) {
                std::fwrite(block.data(), 1, block.size(), f);
                block.clear();
            }
        }
        std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::u16string ConnString() const { return quorvel::EmbeddedConnString(store.string()); }
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

void Run(benchmark::State& state, const std::function<void(std::FILE*, std::FILE*)>& work,
         bool labels = false) {
    const Files& f = TheFiles();
    for (auto _ : state) {
        std::FILE* in = std::fopen((labels ? f.labels : f.input).string().c_str(), "rb");
        std::FILE* out = std::fopen("/dev/null", "wb");
        work(in, out);
        std::fclose(in);
        std::fclose(out);
    }
    state.SetItemsProcessed(state.iterations() * (labels ? kLabels : kBarcodes));
}

void BM_Batch(benchmark::State& state) {
    quorvel::OpenConnection(TheFiles().ConnString());
    quorvel::CompiledRule rule(u"A,B", u"R01");
    Run(state, [&](std::FILE* in, std::FILE* out) {
        if (quorvel::ParseLines(rule, in, out).lines != kBarcodes) state.SkipWithError("lines");
    });
    quorvel::CloseConnection();
}
BENCHMARK(BM_Batch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The least any implementation must do: read the lines in blocks, write each result line.
void BM_FloorBatch(benchmark::State& state) {
    Run(state, [&](std::FILE* in, std::FILE* out) {
        std::vector<char> buf(1 << 20), res(1 << 20);
        size_t have = 0, used = 0;
        long lines = 0;
        for (;;) {
            size_t got = std::fread(buf.data() + have, 1, buf.size() - have, in);
            if (got == 0) break;
            have += got;
            const char* p = buf.data();
            const char* end = p + have;
            while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p))) {
                if (used + 16 > res.size()) {
                    std::fwrite(res.data(), 1, used, out);
                    used = 0;
                }
                char* d = res.data() + used;  // A at characters 3-7, B at 8-12 with 2 decimals
                std::memcpy(d, p + 2, 5);
                d[5] = ',';
                std::memcpy(d + 6, p + 7, 3);
                d[9] = '.';
                std::memcpy(d + 10, p + 10, 2);
                d[12] = '\n';
                used += 13;
                ++lines;
                p = nl + 1;
            }
            have = static_cast<size_t>(end - p);
            std::memmove(buf.data(), p, have);
        }
        std::fwrite(res.data(), 1, used, out);
        if (lines != kBarcodes) state.SkipWithError("lines");
    });
}
BENCHMARK(BM_FloorBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The GS1 rule on the labels: each line parsed as an element string, three AIs looked up.
void BM_BatchGs1(benchmark::State& state) {
    quorvel::OpenConnection(TheFiles().ConnString());
    quorvel::CompiledRule rule(u"A,W,B", u"G1");
    Run(
        state,
        [&](std::FILE* in, std::FILE* out) {
            if (quorvel::ParseLines(rule, in, out).lines != kLabels) state.SkipWithError("lines");
        },
        true);
    quorvel::CloseConnection();
}
BENCHMARK(BM_BatchGs1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The labels' floor: the same reads and writes, the fields at positions known in advance.
void BM_FloorGs1(benchmark::State& state) {
    Run(
        state,
        [&](std::FILE* in, std::FILE* out) {
            std::vector<char> buf(1 << 20), res(1 << 20);
            size_t have = 0, used = 0;
            long lines = 0;
            for (;;) {
                size_t got = std::fread(buf.data() + have, 1, buf.size() - have, in);
                if (got == 0) break;
                have += got;
                const char* p = buf.data();
                const char* end = p + have;
                while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p))) {
                    if (used + 32 > res.size()) {
                        std::fwrite(res.data(), 1, used, out);
                        used = 0;
                    }
                    char* d = res.data() + used;  // GTIN 5-18, weight 23-28, price 33-36
                    std::memcpy(d, p + 5, 14);
                    d[14] = ',';
                    std::memcpy(d + 15, p + 23, 3);
                    d[18] = '.';
                    std::memcpy(d + 19, p + 26, 3);
                    d[22] = ',';
                    std::memcpy(d + 23, p + 33, 2);
                    d[25] = '.';
                    std::memcpy(d + 26, p + 35, 2);
                    d[28] = '\n';
                    used += 29;
                    ++lines;
                    p = nl + 1;
                }
                have = static_cast<size_t>(end - p);
                std::memmove(buf.data(), p, have);
            }
            std::fwrite(res.data(), 1, used, out);
            if (lines != kLabels) state.SkipWithError("lines");
        },
        true);
}
BENCHMARK(BM_FloorGs1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// ParseBarCode per barcode, as `quorvel parse` calls it: a connection and a query per category.
void BM_PerCallParse(benchmark::State& state) {
    quorvel::GetAnalyseBarCode analyser;
    analyser.ConnString(TheFiles().ConnString());
    std::vector<std::u16string> codes;
    std::FILE* in = std::fopen(TheFiles().input.string().c_str(), "rb");
    char line[32];
    while (codes.size() < kPerCallBarcodes && std::fgets(line, sizeof line, in)) {
        codes.push_back(quorvel::FromUtf8(std::string(line, std::strlen(line) - 1)));
    }
    std::fclose(in);
    for (auto _ : state) {
        for (const auto& c : codes) {
            std::string r = quorvel::ToUtf8(analyser.ParseBarCode(u"A,B", c, u"R01"));
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(codes.size()));
}
BENCHMARK(BM_PerCallParse)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
