#include "cli/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "service/analyser.h"
#include "store/connstring.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/text.h"
#include "store/value.h"
#include "tools/rules.h"

namespace quorvel::cli {

namespace {
// File names and connection strings come as bytes; the core's text is Unicode.
const CLI::Validator kUtf8(
    [](std::string& s) { return IsUtf8(s) ? std::string() : std::string("not valid UTF-8 text"); },
    "");

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A driver's message may end in a line feed, and a box's title in a colon of its own.
std::string OneLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!blank) {
            out += c;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string Title(std::string t) {
    for (;;) {
        if (!t.empty() && (t.back() == ':' || t.back() == ' ')) {
            t.pop_back();
        } else if (t.size() >= 3 && t.compare(t.size() - 3, 3, "\xEF\xBC\x9A") == 0) {
            t.erase(t.size() - 3);  // the full-width colon
        } else {
            return t;
        }
    }
}

class CommandBoxes final : public MessageBoxes {
  public:
    int Show(std::u16string_view prompt, int buttons, std::u16string_view title) override {
        ++shown;
        const std::string t = Title(ToUtf8(title)), p = OneLine(ToUtf8(prompt));
        Complain(t.empty() ? p : t + ": " + p);
        const int set = buttons & 7;
        return set == mb::kYesNo || set == 3 ? mb::kNo : mb::kOk;
    }
    int shown = 0;
};
CommandBoxes gBoxes;

// What a message says the store is, without a connection string's password.
std::string Named(const StoreTarget& t) {
    return t.store.empty() ? std::string("the database of the connection string")
                           : "the store " + t.store;
}

std::string Listed(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size() && i < 12; ++i) out += (i ? ", " : "") + items[i];
    if (items.size() > 12) out += ", ...";
    return out.empty() ? "none" : out;
}

std::vector<std::string> Column(Connection& conn, const std::u16string& sql) {
    std::vector<std::string> out;
    const auto data = conn.Query(sql);  // kept alive through the loop
    for (const auto& row : data->rows) out.push_back(ToUtf8(FieldText(row[0])));
    return out;
}

// The SQLite file a connection string opens, whose driver would create it when it is missing.
std::optional<std::string> SqliteFile(const std::string& cs) {
    auto parsed = ConnString::Parse(FromUtf8(cs));
    if (auto provider = parsed.Get(u"Provider"); provider && ToUtf8(*provider) == "SQLite") {
        if (auto f = parsed.Get(u"Data Source")) return ToUtf8(*f);
    }
    if (auto driver = parsed.Get(u"Driver")) {
        std::string d = ToUtf8(*driver);
        std::transform(d.begin(), d.end(), d.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (d.find("sqlite") != std::string::npos) {
            if (auto f = parsed.Get(u"Database")) return ToUtf8(*f);
        }
    }
    return std::nullopt;
}
}  // namespace

Verbosity& CurrentVerbosity() {
    static Verbosity v = Verbosity::kNormal;
    return v;
}

void Notice(const std::string& message) {
    if (CurrentVerbosity() != Verbosity::kQuiet) Complain(message);
}

void Detail(const std::string& message) {
    if (CurrentVerbosity() == Verbosity::kVerbose) Complain(message);
}

void AddStoreOptions(CLI::App& sub, StoreTarget& t) {
    CLI::Option_group* g = sub.add_option_group(
        "store", "where the rules are (one of; else QUORVEL_STORE or QUORVEL_CONN)");
    g->add_option("--store", t.store, "the embedded store file")->type_name("FILE")->check(kUtf8);
    g->add_option("--conn", t.conn, "a connection string, e.g. to an ODBC database")
        ->type_name("CS")
        ->check(kUtf8);
    g->require_option(0, 1);
}

void Resolve(StoreTarget& t) {
    if (!t.store.empty() || !t.conn.empty()) return;
    const char* store = std::getenv("QUORVEL_STORE");
    const char* conn = std::getenv("QUORVEL_CONN");
    store = store && *store ? store : nullptr;
    conn = conn && *conn ? conn : nullptr;
    if (store && conn) {
        throw Refusal(kUsage,
                      "both QUORVEL_STORE and QUORVEL_CONN are set: unset one, or give "
                      "--store or --conn");
    }
    if (!store && !conn) {
        throw Refusal(kUsage,
                      "no store: give --store FILE or --conn CS, or set QUORVEL_STORE or "
                      "QUORVEL_CONN");
    }
    (store ? t.store : t.conn) = store ? store : conn;
    if (!IsUtf8(store ? t.store : t.conn)) {
        throw Refusal(kUsage, std::string(store ? "QUORVEL_STORE" : "QUORVEL_CONN") +
                                  " is not valid UTF-8 text");
    }
}

std::u16string TargetConnString(const StoreTarget& t) {
    return t.conn.empty() && !t.store.empty() ? EmbeddedConnString(t.store) : FromUtf8(t.conn);
}

void OpenStore(Connection& conn, StoreTarget& t, bool tables) {
    Resolve(t);
    if (!t.store.empty() && !Exists(t.store)) {
        throw Refusal(kNoStore, "there is no store " + t.store +
                                    ": create one with 'quorvel init --store " + t.store + "'");
    }
    if (auto file = t.conn.empty() ? std::nullopt : SqliteFile(t.conn); file && !Exists(*file)) {
        throw Refusal(kNoStore, "the SQLite database " + *file +
                                    " does not exist (its driver would create an empty one): "
                                    "make the store with 'quorvel init --store " +
                                    *file + "'");
    }
    try {
        conn.Open(TargetConnString(t));
    } catch (const DbError& e) {
        throw Refusal(kNoStore, "cannot reach " + Named(t) + ": " + OneLine(e.what()));
    }
    Detail("store: " +
           (t.store.empty() ? std::string("the database of the connection string") : t.store));
    if (!tables) return;
    try {
        conn.Query(u"select count(*) as n from txm_gzzb where 1=0");
        conn.Query(u"select count(*) as n from txm_gzmx where 1=0");
    } catch (const DbError& e) {
        throw Refusal(kNoStore,
                      Named(t) + " holds no rule tables (" + OneLine(e.what()) + "): " +
                          (t.store.empty() ? "create them with 'quorvel init --conn CS'"
                                           : "give the right file, or make a new store with "
                                             "'quorvel init --store FILE'"));
    }
}

void RequireRule(Connection& conn, const std::string& rule) try {
    if (!conn.Query(u"select gzid from txm_gzzb where gzid=" + SqlQuote(FromUtf8(rule)))
             ->rows.empty()) {
        return;
    }
    throw Refusal(kFailure, "there is no rule " + rule + " in the store; its rules: " +
                                Listed(Column(conn, u"select gzid from txm_gzzb order by gzid")));
} catch (const DbError& e) {
    throw Refusal(kNoStore, "the store cannot be read: " + OneLine(e.what()));
}

void RequireCategories(Connection& conn, const std::string& rule,
                       const std::string& categories) try {
    const std::u16string gzid = FromUtf8(rule);
    const auto items = SplitCategories(FromUtf8(categories));
    if (items.empty()) throw Refusal(kFailure, "no category given: --categories A,B,...");
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string item = ToUtf8(items[i]);
        if (item.empty()) {
            throw Refusal(kFailure, "item " + std::to_string(i + 1) + " of the category list '" +
                                        categories + "' is empty");
        }
        if (!conn.Query(GetAnalyseBarCode::SegmentLevelSql(items[i], gzid))->rows.empty()) {
            continue;
        }
        const std::string spaced =
            item.find(' ') != std::string::npos
                ? " (mind the space: the list is split at commas only, nothing is trimmed)"
                : "";
        const auto levels = Column(
            conn, u"select lbid from txm_gzmx where gzid=" + SqlQuote(gzid) + u" order by js");
        if (!tools::FindCategory(conn, items[i])) {
            throw Refusal(kFailure, "'" + item + "' is not a segment category of the store" +
                                        spaced + "; rule " + rule + " cuts " + Listed(levels));
        }
        throw Refusal(kFailure, "rule " + rule + " does not cut category " + item + spaced +
                                    "; it cuts " + Listed(levels));
    }
} catch (const DbError& e) {
    throw Refusal(kNoStore, "the store cannot be read: " + OneLine(e.what()));
}

void SetRun(CLI::App& sub, std::function<int()> run) {
    sub.callback([run = std::move(run)] {
        const double start = Now();
        int rc;
        try {
            rc = run();
        } catch (const Refusal& r) {
            Complain(r.what());
            rc = r.Status();
        } catch (...) {
            Complain(OneLine(ToUtf8(DescribeCurrentException())));
            rc = kFailure;
        }
        Detail("exit status " + std::to_string(rc) + " after " +
               std::to_string(static_cast<long>((Now() - start) * 1000)) + " ms");
        if (rc != kOk) throw CLI::RuntimeError(rc);
    });
}

void Complain(const std::string& message) {
    std::cerr << "quorvel: " << message << std::endl;
}

void InstallMessageBoxes() {
    SetMessageBoxes(&gBoxes);
}

int BoxesShown() {
    return gBoxes.shown;
}

void AddFormatOption(CLI::App& sub, std::string& format) {
    sub.add_option("--format", format, "text for people, json or tsv for scripts")
        ->check(CLI::IsMember({"text", "json", "tsv"}))
        ->type_name("FORMAT");
}

std::string JsonString(const std::string& text) {
    // A barcode read from a file may hold bytes that are no UTF-8; JSON must be.
    const std::string utf8 = IsUtf8(text) ? text : ToUtf8(FromUtf8(text));
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string TsvField(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::FILE* OpenInput(const std::string& name) {
    if (name == "-") return stdin;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) throw Refusal(kFailure, "cannot open " + name + ": " + std::strerror(errno));
    return f;
}

std::FILE* OpenOutput(const std::string& name) {
    if (name == "-") return stdout;
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) throw Refusal(kFailure, "cannot create " + name + ": " + std::strerror(errno));
    return f;
}

Progress::Progress(std::string what)
    : what_(std::move(what)),
      on_(isatty(fileno(stderr)) && CurrentVerbosity() != Verbosity::kQuiet),
      start_(Now()) {}

Progress::~Progress() {
    Done();
}

void Progress::Update(const std::string& state) {
    if (!on_) return;
    const double now = Now();
    if (now - start_ < 1 || (shown_ && now - last_ < 0.5)) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\rquorvel %s: %s, %.0f s\x1b[K", what_.c_str(), state.c_str(),
                 now - start_);
    std::fflush(stderr);
}

void Progress::Done() {
    if (!shown_) return;
    shown_ = false;
    std::fputc('\n', stderr);
}

QueryProgress::QueryProgress(Progress& progress) {
    Connection::SetStatementHook([this, &progress](const std::u16string&) {
        progress.Update(std::to_string(++queries_) + " queries");
    });
}

QueryProgress::~QueryProgress() {
    Connection::SetStatementHook(nullptr);
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
    if (e == EPIPE) EndOnClosedPipe();
    failed_ = true;
    Complain(std::string("cannot write the output: ") + (e ? std::strerror(e) : "write error"));
    return false;
}

std::string& ClosedPipeNote() {
    static std::string note;
    return note;
}

void EndOnClosedPipe() {
    if (!ClosedPipeNote().empty()) Complain(ClosedPipeNote());
    std::fflush(stderr);
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
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
