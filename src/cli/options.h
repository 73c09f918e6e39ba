// What the subcommands of `quorvel` share: the store they work on, how they report, and how
// they write their result lines. Each subcommand registers itself with one Add...Command
// function (commands.h), which main() calls.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/connection.h"

namespace quorvel::cli {

// The one table of exit statuses, for every subcommand (--help and docs/command.md show it).
inline constexpr int kOk = 0;
inline constexpr int kFailure = 1;  // findings, refused input, or a result that was not written
inline constexpr int kUsage = 2;
inline constexpr int kNoStore = 3;  // the store cannot be reached or holds no rule tables
inline constexpr char kExitStatusTable[] =
    "Exit status: 0 done; 1 findings or refused input (a problem check finds, a label explain "
    "finds faulty, an unknown rule or category, a refused file, output that cannot be written); "
    "2 bad usage; 3 the store cannot be reached (no such file, a failed connection, no rule "
    "tables). A closed pipe ends the command quietly, as the signal SIGPIPE does.";

// How much goes to stderr besides errors: -q only errors, -v also what was done and how long
// it took. Notices (a lock waited for, progress) are the default.
enum class Verbosity { kQuiet, kNormal, kVerbose };
Verbosity& CurrentVerbosity();
void Notice(const std::string& message);  // not with -q
void Detail(const std::string& message);  // only with -v

// A subcommand ends with this status after one message: thrown from inside its work.
class Refusal : public std::runtime_error {
  public:
    Refusal(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

  private:
    int status_;
};

// The store a subcommand works on: a store file, or a connection string; when neither option is
// given, QUORVEL_STORE or QUORVEL_CONN (so that a password need not stand in `ps`).
struct StoreTarget {
    std::string store, conn;
};

// Adds the pair --store FILE | --conn CS, at most one of which may be given.
void AddStoreOptions(CLI::App& sub, StoreTarget& t);

// Fills the target from the environment when no option gave it; Refusal (usage) when neither
// did, or both variables are set.
void Resolve(StoreTarget& t);

// The connection string for the resolved target: --conn as given, or the embedded store's string
// for the --store file.
std::u16string TargetConnString(const StoreTarget& t);

// Opens the store, refusing (kNoStore) a store file that does not exist (the SQLite3 ODBC
// driver's too, which would create an empty one), a connection that fails, and a database
// without the rule tables (unless `tables` is false, for init), each with what to do.
void OpenStore(Connection& conn, StoreTarget& t, bool tables = true);

// Refuses (kFailure) an unknown rule and a category list whose items the rule does not cut,
// before anything is cut: a typing error would otherwise give empty values and success.
void RequireRule(Connection& conn, const std::string& rule);
void RequireCategories(Connection& conn, const std::string& rule, const std::string& categories);

// Makes `run` the subcommand's work; its result is the exit status of the command.
void SetRun(CLI::App& sub, std::function<int()> run);

// Prints "quorvel: message" on stderr.
void Complain(const std::string& message);

// Routes the component's message boxes to stderr as "quorvel: TITLE: TEXT" on one line, and
// counts them, so that a command that met one does not exit 0.
void InstallMessageBoxes();
int BoxesShown();

// text, json or tsv: the --format option of the subcommands that have one.
void AddFormatOption(CLI::App& sub, std::string& format);

// A JSON string literal for UTF-8 text; a TSV field (tab, line feed, carriage return and
// backslash escaped).
std::string JsonString(const std::string& utf8);
std::string TsvField(const std::string& utf8);

// Opens FILE for reading or writing, `-` being standard input or output; Refusal when it cannot.
std::FILE* OpenInput(const std::string& name);
std::FILE* OpenOutput(const std::string& name);

// A line on a terminal's stderr for work that lasts over a second; nothing when stderr is not a
// terminal, or with -q. Update() may be called as often as wanted; it redraws twice a second.
class Progress {
  public:
    explicit Progress(std::string what);
    ~Progress();
    void Update(const std::string& state);
    void Done();

  private:
    std::string what_;
    bool on_, shown_ = false;
    double start_, last_ = 0;
};

// Progress counted in statements sent to the store, for work that is mostly queries (export,
// the check's reading of the rules); the hook is removed when it ends.
class QueryProgress {
  public:
    explicit QueryProgress(Progress& progress);
    ~QueryProgress();
    QueryProgress(const QueryProgress&) = delete;
    QueryProgress& operator=(const QueryProgress&) = delete;

  private:
    long queries_ = 0;
};

// Writes result lines to standard output as UTF-8. With flushEachLine every line is flushed as
// it is written, so that messages on stderr stay next to the line they belong to. A write error
// (a full disk) is reported once on stderr, and Finish() then returns kFailure; a closed pipe
// ends the command quietly, as the default SIGPIPE does.
class LineWriter {
  public:
    explicit LineWriter(bool flushEachLine, std::FILE* out = stdout)
        : flush_(flushEachLine), out_(out) {}
    // False once writing has failed; the caller may stop producing lines.
    bool Line(const std::u16string& text);
    bool Line(const std::string& utf8);
    // Flushes; kOk when every line reached the output, else kFailure.
    int Finish();

  private:
    bool Failed();
    bool flush_;
    std::FILE* out_;
    bool failed_ = false;
};

// Ends the process as a closed pipe ends other tools: by SIGPIPE, without a message other than
// the note, if one is set (work that was committed before its report could be written).
[[noreturn]] void EndOnClosedPipe();
std::string& ClosedPipeNote();

// Reads lines from standard input: a UTF-8 byte-order mark at the start is dropped, and a line
// ends at LF or CRLF. False at the end of the input.
class LineReader {
  public:
    explicit LineReader(std::FILE* in = stdin) : in_(in) {}
    bool Next(std::string& line);

  private:
    std::FILE* in_;
    bool first_ = true;
};

}  // namespace quorvel::cli
