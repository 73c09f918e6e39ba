// What the subcommands of `quorvel` share: the store they work on, how they report, and how
// they write their result lines. Each subcommand registers itself with one Add...Command
// function (commands.h), which main() calls.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <string>

namespace quorvel::cli {

inline constexpr int kOk = 0;
inline constexpr int kFailure = 1;  // the work could not be done, or its result not written
inline constexpr int kUsage = 2;

// The store a subcommand works on: a store file, or a connection string.
struct StoreTarget {
    std::string store, conn;
};

// Adds the pair --store FILE | --conn CS, exactly one of which must be given.
void AddStoreOptions(CLI::App& sub, StoreTarget& t);

// The connection string for the target: --conn as given, or the embedded store's string for
// the --store file. AddStoreOptions has refused a file name that is not UTF-8.
std::u16string TargetConnString(const StoreTarget& t);

// Makes `run` the subcommand's work; its result is the exit status of the command.
void SetRun(CLI::App& sub, std::function<int()> run);

// Prints "quorvel: message" on stderr.
void Complain(const std::string& message);

// Writes result lines to standard output as UTF-8. With flushEachLine every line is flushed as
// it is written, so that messages on stderr stay next to the line they belong to. A write error
// (a full disk, a closed pipe) is reported once on stderr, and Finish() then returns kFailure.
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
