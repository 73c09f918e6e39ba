#include "cli/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "store/connstring.h"
#include "store/error.h"
#include "store/text.h"

namespace quorvel::cli {

namespace {
// File names and connection strings come as bytes; the core's text is Unicode.
const CLI::Validator kUtf8(
    [](std::string& s) { return IsUtf8(s) ? std::string() : std::string("not valid UTF-8 text"); },
    "");
}  // namespace

void AddStoreOptions(CLI::App& sub, StoreTarget& t) {
    CLI::Option_group* g = sub.add_option_group("store", "where the rules are (one of)");
    g->add_option("--store", t.store, "the embedded store file")->type_name("FILE")->check(kUtf8);
    g->add_option("--conn", t.conn, "a connection string, e.g. to an ODBC database")
        ->type_name("CS")
        ->check(kUtf8);
    g->require_option(1);
}

std::u16string TargetConnString(const StoreTarget& t) {
    return t.conn.empty() && !t.store.empty() ? EmbeddedConnString(t.store) : FromUtf8(t.conn);
}

void SetRun(CLI::App& sub, std::function<int()> run) {
    sub.callback([run = std::move(run)] {
        int rc;
        try {
            rc = run();
        } catch (...) {
            Complain(ToUtf8(DescribeCurrentException()));
            rc = kFailure;
        }
        if (rc != kOk) throw CLI::RuntimeError(rc);
    });
}

void Complain(const std::string& message) {
    std::cerr << "quorvel: " << message << std::endl;
}

bool LineWriter::Line(const std::string& utf8) {
    if (failed_) return false;
    if (std::fwrite(utf8.data(), 1, utf8.size(), out_) != utf8.size() ||
        std::fputc('\n', out_) == EOF || (flush_ && std::fflush(out_) != 0)) {
        return Failed();
    }
    return true;
}

bool LineWriter::Line(const std::u16string& text) {
    return Line(ToUtf8(text));
}

int LineWriter::Finish() {
    if (!failed_ && (std::fflush(out_) != 0 || std::ferror(out_))) Failed();
    return failed_ ? kFailure : kOk;
}

bool LineWriter::Failed() {
    int e = errno;
    failed_ = true;
    Complain(std::string("cannot write the output: ") + (e ? std::strerror(e) : "write error"));
    return false;
}

bool LineReader::Next(std::string& line) {
    char* buf = nullptr;
    size_t cap = 0;
    ssize_t n = getline(&buf, &cap, in_);
    if (n < 0) {
        std::free(buf);
        return false;
    }
    line.assign(buf, static_cast<size_t>(n));
    std::free(buf);
    const bool ended = !line.empty() && line.back() == '\n';
    if (ended) line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first_ && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        line.erase(0, 3);
        // Input that is a byte-order mark and nothing else holds no barcode at all.
        if (line.empty() && !ended) return false;
    }
    first_ = false;
    return true;
}

}  // namespace quorvel::cli
