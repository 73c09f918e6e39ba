// A small connection/recordset layer with the semantics the component was written against:
// one connection object per open, static client-side recordsets read whole, detached clones.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/backend.h"
#include "store/value.h"

namespace quorvel {

inline constexpr long kStateClosed = 0;
inline constexpr long kStateOpen = 1;

class Connection {
  public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    long ConnectionTimeout = 15;  // seconds; 0 means no limit
    // Seconds any statement may run or wait for a lock; 0 means no limit. Read at every statement.
    long CommandTimeout = kDefaultCommandTimeout;

    void Open(const std::u16string& connectionString, const std::u16string& user = u"",
              const std::u16string& password = u"");
    long State() const { return backend_ ? kStateOpen : kStateClosed; }
    // The string the connection was last opened with.
    const std::u16string& ConnectionString() const { return connectionString_; }
    void Close();
    void Execute(const std::u16string& sql);
    void BeginTrans();
    // Begins with the database's own statement (one version for a scan, or a change that holds
    // the write lock: see dialect.h); CommitTrans and RollbackTrans then end it with the matching
    // statements.
    void BeginTransWith(const TransactionStatements& statements);
    // The same, its begin sent with the next query (a read of one version, whose begin then costs
    // no round trip of its own where the driver takes several statements at once).
    void BeginTransWithNextQuery(const TransactionStatements& statements);
    // The next query also commits the transaction, in the same exchange. When the query fails,
    // the transaction is still open.
    void CommitTransWithNextQuery();
    bool InTransaction() const { return transactionDepth_ > 0; }
    void CommitTrans();
    void RollbackTrans();

    std::shared_ptr<const ResultData> Query(const std::u16string& sql);
    // The open database's dialect (see Backend::DatabaseDialect).
    std::optional<Dialect> DatabaseDialect() const;

    // Runs before every statement on any connection of this thread (reads, writes and
    // transaction commands alike); a hook that throws makes that statement fail. Tests use it
    // to fail the N-th statement of an operation.
    using StatementHook = std::function<void(const std::u16string& sql)>;
    static void SetStatementHook(StatementHook hook);

  private:
    Backend& Live();  // the open backend, with the command timeout applied
    std::unique_ptr<Backend> backend_;
    std::u16string connectionString_;
    int transactionDepth_ = 0;
    std::optional<TransactionStatements> ending_;  // of a transaction BeginTransWith began
    bool beginPending_ = false;                    // its begin goes with the next query
    bool commitPending_ = false;                   // its commit goes with the next query
};

struct Field {
    std::u16string Name;
    short Type = 0;
    FieldValue Value;
};

inline constexpr int kUseClient = 3;
inline constexpr int kOpenStatic = 3;
inline constexpr int kLockReadOnly = 1;
inline constexpr int kLockOptimistic = 3;
inline constexpr int kCmdText = 1;

class Recordset {
  public:
    int CursorLocation = 2;
    long CacheSize = 1;

    void Open(const std::u16string& sql, const std::shared_ptr<Connection>& conn,
              int cursorType = kOpenStatic, int lockType = kLockReadOnly, int options = kCmdText);
    long State() const { return data_ ? kStateOpen : kStateClosed; }
    int LockType() const { return lockType_; }
    long RecordCount() const;
    bool Eof() const;
    bool Bof() const;
    void MoveFirst();
    void MoveNext();
    long AbsolutePosition() const;  // 1-based; 0 when there is no current row
    Field Fields(std::u16string_view name) const;
    const FieldValue& Value(size_t column) const;  // current row, by ordinal
    const std::vector<Column>& Columns() const;
    std::shared_ptr<Recordset> Clone() const;
    void Close();

  private:
    const ResultData& Data() const;
    std::shared_ptr<const ResultData> data_;
    size_t pos_ = 0;
    int lockType_ = kLockReadOnly;
};

}  // namespace quorvel
