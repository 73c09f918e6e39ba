// quorvel import: rules from a JSON file into a store, all of them or none.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/dialect.h"
#include "store/text.h"
#include "store/value.h"
#include "tools/transfer.h"

namespace quorvel::cli {

namespace {

std::string ReadAll(const std::string& name) {
    std::FILE* f = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    std::string text;
    if (f) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    }
    const bool failed = !f || std::ferror(f);
    const int e = errno;
    if (f && f != stdin) std::fclose(f);
    if (failed) {
        throw Refusal(kFailure,
                      "cannot read " + name + ": " + std::strerror(e) + "; nothing was imported");
    }
    return text;
}

// Says once, a second into it, that the import waits for another change of the same rules (an
// import, an editor's save), which holds their locks until it ends. The first statements of an
// import take those locks; any statement on the rule tables comes after them. PostgreSQL also
// says who holds what the import waits for: a second session asks it, whatever the statement.
class LockWatch {
  public:
    LockWatch(std::string rules, bool several, std::u16string connString, long pid,
              std::function<void()> each)
        : rules_(std::move(rules)),
          several_(several),
          connString_(std::move(connString)),
          pid_(pid),
          each_(std::move(each)) {
        started_ = Seconds();
        Connection::SetStatementHook([this](const std::u16string& sql) {
            each_();
            started_ = Seconds();
            if (sql.find(u"glsx") != std::u16string::npos ||
                sql.find(u"txm_") != std::u16string::npos) {
                locking_ = false;
            }
        });
        thread_ = std::thread([this] { Watch(); });
    }
    ~LockWatch() {
        Connection::SetStatementHook(nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

  private:
    static double Seconds() {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        double asked = 0;
        while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
            if (Seconds() - started_ <= 1) continue;
            if (pid_ == 0) {
                if (!locking_) continue;
                Notice("waiting for the lock on " + rules_ + ": another change of " +
                       (several_ ? "them" : "it") +
                       " (an import, an editor's save or deletion) holds it until that ends; "
                       "the import gives up after the command timeout");
                return;
            }
            if (Seconds() - asked < 0.5) continue;
            asked = Seconds();
            const std::string holder = Holder();
            if (holder.empty()) continue;  // slow, not blocked
            Notice("the import of " + rules_ + " waits for " + holder +
                   ", which holds a lock it needs; it gives up after the command timeout");
            return;
        }
    }
    // The sessions that block the import's, as PostgreSQL names them; empty when none does.
    std::string Holder() {
        try {
            if (!look_) {
                look_ = std::make_unique<Connection>();
                look_->Open(connString_);
            }
            const auto data = look_->Query(
                u"select pid, usename, application_name, client_addr, cast(extract(epoch from "
                u"now() - xact_start) as integer) as age from pg_stat_activity where pid = "
                u"any(pg_blocking_pids(" +
                ToU16(static_cast<long long>(pid_)) + u"))");
            std::string out;
            for (const auto& row : data->rows) {
                auto text = [&](size_t i) { return ToUtf8(FieldText(row[i])); };
                out +=
                    (out.empty() ? "" : " and ") + ("session " + text(0) + " of user " + text(1));
                std::string details;
                for (const auto& [label, i] : {std::pair<const char*, size_t>{"application ", 2},
                                               {"from ", 3},
                                               {"in its transaction for ", 4}}) {
                    if (text(i).empty()) continue;
                    details +=
                        (details.empty() ? "" : ", ") + (label + text(i)) + (i == 4 ? " s" : "");
                }
                if (!details.empty()) out += " (" + details + ")";
            }
            return out;
        } catch (...) {
            // Who holds it is a courtesy: without an answer, say what is known.
            pid_ = 0;
            return "";
        }
    }
    std::string rules_;
    bool several_;
    std::u16string connString_;
    long pid_;
    std::function<void()> each_;
    std::unique_ptr<Connection> look_;
    std::atomic<double> started_{0};
    std::atomic<bool> locking_{true};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

std::string Ids(const tools::ImportReport& r, bool category, const char* action, size_t& n) {
    std::string out;
    n = 0;
    for (const auto& e : r.entries) {
        if (e.category != category || e.action != action) continue;
        out += (n++ ? "," : "") + JsonString(ToUtf8(e.id));
    }
    return "[" + out + "]";
}

std::string Summary(const tools::ImportReport& r) {
    size_t added, renamed, imported, replaced;
    Ids(r, true, "added", added);
    Ids(r, true, "renamed", renamed);
    Ids(r, false, "imported", imported);
    Ids(r, false, "replaced", replaced);
    return std::to_string(imported) + " rules imported, " + std::to_string(replaced) +
           " replaced; " + std::to_string(added) + " categories added, " + std::to_string(renamed) +
           " renamed";
}

}  // namespace

void AddImportCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string file, format = "text";
        bool replace = false, rename = false, dryRun = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("import", "Adds the rules of a JSON file to a store.");
    sub->footer(
        "Imports every rule of the file in one transaction, or none: an existing rule id, a "
        "category the store names otherwise, or a rule that check finds broken refuses the "
        "whole file, and each is listed with their count. --replace replaces existing rules "
        "whole; --rename-categories gives categories the file's names. --dry-run does all of it "
        "and says what it would do, then changes nothing. A malformed or truncated file changes "
        "nothing, nor does one with a member given twice, nesting deeper than the format, a "
        "text longer than its column or holding NUL, or a number outside the editor's 16-bit "
        "fields; each is named with where and why. A wait for another change of the same rules "
        "is said after a second.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("FILE", a->file, "the file quorvel export wrote; - for standard input")
        ->required();
    sub->add_flag("--replace", a->replace, "replace rules that exist, whole");
    sub->add_flag("--rename-categories", a->rename,
                  "rename categories that the store names otherwise");
    sub->add_flag("--dry-run", a->dryRun, "say what would be imported, and change nothing");
    AddFormatOption(*sub, a->format);
    SetRun(*sub, [a] {
        const std::string text = ReadAll(a->file);
        const std::string name = a->file == "-" ? "standard input" : a->file;
        tools::RuleSet set;
        try {
            set = tools::FromJson(text);
        } catch (const tools::FileError& e) {
            throw Refusal(kFailure, name + ": " + e.what() + "; nothing was imported");
        }
        Connection conn;
        OpenStore(conn, a->target);
        std::string rules;
        for (size_t i = 0; i < set.rules.size() && i < 5; ++i) {
            rules += (i ? ", " : "") + ToUtf8(set.rules[i].gzid);
        }
        if (set.rules.size() > 5) rules += " and " + std::to_string(set.rules.size() - 5) + " more";
        tools::ImportReport report;
        {
            Progress progress("import");
            const bool several = set.rules.size() > 1;
            // PostgreSQL names the session that blocks this one's, given its id.
            long pid = 0;
            if (conn.DatabaseDialect() == Dialect::PostgreSql) {
                pid = std::stol(ToUtf8(
                    FieldText(conn.Query(u"select pg_backend_pid() as pid")->rows.at(0).at(0))));
            }
            LockWatch watch("rule" + std::string(several ? "s " : " ") + rules, several,
                            TargetConnString(a->target), pid,
                            [&] { progress.Update(std::to_string(set.rules.size()) + " rules"); });
            report = tools::ImportRules(conn, set, {a->replace, a->rename, a->dryRun});
        }
        LineWriter out(false);
        if (report.imported && !a->dryRun) {
            ClosedPipeNote() = name +
                               ": the rules were imported all the same; only this report is "
                               "missing (a second import needs --replace)";
        }
        if (a->format == "json") {
            size_t n[4];
            std::string refused;
            for (const auto& r : report.refusals) {
                refused += (refused.empty() ? "" : ",") + JsonString(ToUtf8(r));
            }
            const std::string added = Ids(report, true, "added", n[0]),
                              renamed = Ids(report, true, "renamed", n[1]),
                              imported = Ids(report, false, "imported", n[2]),
                              replaced = Ids(report, false, "replaced", n[3]);
            out.Line(std::string("{\"dryRun\":") + (a->dryRun ? "true" : "false") +
                     ",\"imported\":" + (report.imported ? "true" : "false") +
                     ",\"categoriesAdded\":" + added + ",\"categoriesRenamed\":" + renamed +
                     ",\"rulesImported\":" + imported + ",\"rulesReplaced\":" + replaced +
                     ",\"refused\":[" + refused + "],\"counts\":{\"categoriesAdded\":" +
                     std::to_string(n[0]) + ",\"categoriesRenamed\":" + std::to_string(n[1]) +
                     ",\"rulesImported\":" + std::to_string(n[2]) +
                     ",\"rulesReplaced\":" + std::to_string(n[3]) +
                     ",\"refused\":" + std::to_string(report.refusals.size()) + "}}");
        } else if (a->format == "tsv") {
            out.Line("action\tkind\tid\tlevels\treason");
            for (const auto& e : report.entries) {
                out.Line(e.action + "\t" + (e.category ? "category" : "rule") + "\t" +
                         TsvField(ToUtf8(e.id)) + "\t" +
                         (e.category ? "" : std::to_string(e.levels)) + "\t");
            }
            for (const auto& r : report.refusals) out.Line("refused\t\t\t\t" + TsvField(ToUtf8(r)));
        } else if (report.imported) {
            for (const auto& d : report.done) out.Line(d);
            out.Line((a->dryRun ? "dry run, nothing changed: it would be " : "") + Summary(report));
        }
        if (!report.imported && a->format == "text") {
            for (const auto& r : report.refusals) Complain(ToUtf8(r));
        }
        if (out.Finish() != kOk) {
            if (!ClosedPipeNote().empty()) Complain(ClosedPipeNote());
            return kFailure;
        }
        ClosedPipeNote().clear();
        if (!report.imported) {
            Complain(name + ": " + std::to_string(report.refusals.size()) +
                     (report.refusals.size() == 1 ? " refusal" : " refusals") +
                     "; nothing was imported");
            return kFailure;
        }
        return kOk;
    });
}

}  // namespace quorvel::cli
