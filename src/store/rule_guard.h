// How the component behaves when many tills and managers share one rule database.
//
// Tills. A scan (one ParseBarCode, or the rule `batch` compiles) reads its rule through a
// RuleRead: all its level queries run in one read-only transaction that the database keeps at one
// version of the rule tables (dialect.h, ReadVersionStatements). A scan therefore cuts a barcode
// wholly by the rule as it was before a change or wholly as it is after it, never by a mix. The
// statements and their results are those of a scan without it: the first row the store returns
// per category, Null read as 0, 16-bit arithmetic. What a scan waits for:
//   - SQLite (embedded and through its ODBC driver): nothing while a change is being made; only
//     while a change commits (milliseconds) does a scan wait to begin. A change's commit in turn
//     waits for the scans under way, which last as long as their few statements.
//   - PostgreSQL: never for a change; the snapshot is taken by the scan's first statement.
//   - SQL Server: never with snapshot isolation allowed; without it the scan holds the rule's
//     lock in shared mode, so it waits while a change of that rule runs, and a change of it waits
//     for the scans under way.
// A scan waits at most the command timeout in all: after one of its statements has waited that
// long in vain, its remaining categories get the empty value at once, without another message.
// The boxes that report a failed read are shown only once the read has ended, so a box waiting
// for the cashier never holds a lock that a manager waits for.
//
// Managers. Every change of rules (the editor's save and level deletion, the browser's rule
// deletion, `quorvel import`) begins with BeginRuleChange, which takes the write lock of every
// rule it is going to touch before it reads or writes anything, also of a rule id that does not
// exist yet. Two changes of one rule therefore never interleave: the second waits until the first
// has committed or rolled back, at most the command timeout, and otherwise fails with a message
// that says the rule is being changed elsewhere, having written nothing. The windows read the
// rule again inside their change and compare it with the RuleVersion they showed: when another
// manager changed it in between, they write nothing, say so, and show the rule as stored.
//
// These hold for tables made without keys as well: nothing here relies on a key or an index.
// A database whose dialect is not known gets the scan's statements in autocommit, as before, and
// a plain transaction for a change.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/connection.h"

namespace quorvel {

// One version of the rule tables for a scan of one rule, on the module's connection (DbConn),
// from construction to End. Its begin goes with its first read and its commit with read number
// `reads`, so that on a database with round trips a scan costs no more of them than its reads.
class RuleRead {
  public:
    RuleRead(const std::u16string& ruleId, size_t reads) noexcept;
    ~RuleRead();  // ends the read, if End has not
    RuleRead(const RuleRead&) = delete;
    RuleRead& operator=(const RuleRead&) = delete;

    // OpenReadOnlyRs inside the read: the detached result, or none after a failure, whose box
    // End shows. After a wait that ran out, none at once: no statement and no second box.
    std::shared_ptr<Recordset> OpenReadOnlyRs(const std::u16string& sql);
    bool GaveUp() const { return gaveUp_; }
    // One read more than announced, decided by an earlier read of the scan: the commit then goes
    // with it. After the announced last read the read has ended, and it runs on its own.
    void ExpectOneMore() noexcept {
        if (open_ && reads_ < expected_) ++expected_;
    }
    // Whether the next read is the announced last one, which carries the commit.
    bool NextIsLast() const noexcept { return open_ && reads_ + 1 == expected_; }
    // What the reads have met so far, for the caller's guess at what comes.
    bool metExtraReads = false;
    // Whether a read came after the commit had gone out with the announced last one: it may
    // have met a later version than the reads before it.
    bool ReadAfterCommit() const noexcept { return late_; }
    // Whether a read failed or the read gave up (their boxes are still to come from End).
    bool Failed() const noexcept { return gaveUp_ || !failures_.empty(); }
    // Ends the read transaction, then shows the boxes of the failures met inside it.
    void End() noexcept;

  private:
    size_t expected_, reads_ = 0;
    bool open_ = false;
    bool gaveUp_ = false;
    bool late_ = false;
    bool sqlServer_ = false;
    std::vector<std::u16string> failures_;
};

// Begins a change of the rules with these ids (and of the segment categories, when asked) on
// `conn`, taking their write locks before anything else; empty ids are left out. When a lock is
// not granted within the command timeout it throws DbError (err::kTimeout) whose description says
// the rule is being changed elsewhere; nothing has then begun. Commit or roll back on `conn`.
void BeginRuleChange(Connection& conn, std::vector<std::u16string> ruleIds,
                     bool categories = false);
// Inside a catch block of a change that BeginRuleChange began: the failure's description, a wait
// that ran out later in the change (for a row another session holds, or for the commit) put as
// the rules being changed elsewhere. The caller rolls the change back, so nothing was changed.
std::u16string DescribeChangeFailure(const Connection& conn,
                                     const std::vector<std::u16string>& ruleIds) noexcept;

// A rule as stored: its header rows and level rows, every column, in a fixed order. A version that
// could not be read equals none, not even itself, so that a change is refused rather than risked.
class RuleVersion {
  public:
    RuleVersion() = default;  // the version of a rule that is not stored
    static RuleVersion Unknown();
    bool operator==(const RuleVersion& other) const;
    std::vector<std::u16string> rows;

  private:
    bool known_ = true;
};

// Throws DbError when the store cannot be read.
RuleVersion ReadRuleVersion(Connection& conn, const std::u16string& ruleId);

}  // namespace quorvel
