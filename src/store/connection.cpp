#include "store/connection.h"

#include <algorithm>
#include <atomic>
#include <climits>

#include "store/error.h"
#include "store/spin_lock.h"
#include "store/text.h"
#if QUORVEL_WITH_ODBC
#include "store/odbc_backend.h"
#endif

namespace quorvel {

namespace {
std::vector<BackendFactory>& Factories() {
    static std::vector<BackendFactory> factories {
#if QUORVEL_WITH_SQLITE
        OpenSqliteBackend,
#endif
#if QUORVEL_WITH_ODBC
            OpenOdbcBackend,
#endif
    };
    return factories;
}
// Registration happens at start-up and the guarded work is a short copy.
std::atomic_flag gFactoriesFlag;
class FactoriesLock : public SpinLock {
  public:
    FactoriesLock() : SpinLock(gFactoriesFlag) {}
};
thread_local Connection::StatementHook tStatementHook;

// Every statement passes here on its way to a backend.
void RunHook(const std::u16string& sql) {
    // Drivers read a statement as a C string: a NUL (from an id typed or pasted with one) would
    // end it there, and a shorter statement would run in its place.
    if (sql.find(char16_t{0}) != std::u16string::npos)
        throw DbError(err::kInvalidProcedureCall,
                      u"The statement holds a NUL character, which no statement can carry.");
    if (tStatementHook) tStatementHook(sql);
}
}  // namespace

void RegisterBackend(BackendFactory factory) {
    FactoriesLock lock;
    Factories().push_back(std::move(factory));
}

void Connection::SetStatementHook(StatementHook hook) {
    tStatementHook = std::move(hook);
}

Connection::~Connection() {
    Close();
}

void Connection::Open(const std::u16string& connectionString, const std::u16string&,
                      const std::u16string&) {
    if (backend_) err::Raise(err::kAlreadyOpen);
    ConnString cs = ConnString::Parse(connectionString);
    std::vector<BackendFactory> factories;
    {
        FactoriesLock lock;
        factories = Factories();
    }
    const int timeout = static_cast<int>(std::clamp<long>(ConnectionTimeout, INT_MIN, INT_MAX));
    const int commandTimeout = static_cast<int>(std::clamp<long>(CommandTimeout, 0, INT_MAX));
    for (auto& f : factories) {
        if (auto b = f(cs, connectionString, timeout, commandTimeout)) {
            backend_ = std::move(b);
            connectionString_ = connectionString;
            transactionDepth_ = 0;
            ending_.reset();
            beginPending_ = commitPending_ = false;
            return;
        }
    }
    // Which provider was missing is the first thing whoever reads the message needs to know.
    std::u16string message = err::Describe(err::kProviderNotFound);
    std::u16string provider = TrimSpaces(cs.Get(u"Provider").value_or(u""));
    if (!provider.empty()) message += u" (" + provider + u")";
    throw DbError(err::kProviderNotFound, message);
}

void Connection::Close() {
    if (!backend_) return;
    auto b = std::move(backend_);
    // Closing with a transaction pending abandons it, as the server does when the session ends.
    if (transactionDepth_ > 0 && !beginPending_) {
        try {
            if (ending_) {
                b->Execute(ending_->rollback);
            } else {
                b->Rollback();
            }
        } catch (...) {
        }
    }
    transactionDepth_ = 0;
    ending_.reset();
    beginPending_ = commitPending_ = false;
    b->Close();
}

Backend& Connection::Live() {
    if (!backend_) err::Raise(err::kObjectClosed);
    backend_->SetCommandTimeout(static_cast<int>(std::clamp<long>(CommandTimeout, 0, INT_MAX)));
    return *backend_;
}

void Connection::Execute(const std::u16string& sql) {
    Backend& b = Live();
    RunHook(sql);
    if (beginPending_) {
        b.Execute(ending_->begin);
        beginPending_ = false;
    }
    b.Execute(sql);
}

std::shared_ptr<const ResultData> Connection::Query(const std::u16string& sql) {
    if (!backend_) err::Raise(err::kConnectionInvalid);
    Backend& b = Live();
    const bool commits = commitPending_;
    commitPending_ = false;  // for this query only, whatever becomes of it
    RunHook(sql);
    if (!beginPending_ && !commits) return b.Query(sql);
    const bool begins = beginPending_;
    try {
        auto data =
            b.QueryBetween(begins ? ending_->begin : u"", sql, commits ? ending_->commit : u"");
        beginPending_ = false;
        if (commits) {
            ending_.reset();
            --transactionDepth_;
        }
        return data;
    } catch (...) {
        if (begins) {
            // Whether the begin ran before the query failed is not known: the transaction starts
            // afresh with the next query.
            try {
                b.Execute(ending_->rollback);
            } catch (...) {
            }
        }
        throw;
    }
}

std::optional<Dialect> Connection::DatabaseDialect() const {
    if (!backend_) err::Raise(err::kObjectClosed);
    return backend_->DatabaseDialect();
}

void Connection::BeginTrans() {
    Backend& b = Live();
    RunHook(u"BEGIN TRANSACTION");
    // Nested transactions are not supported by the stores the component talks to.
    if (transactionDepth_ > 0) {
        throw DbError(err::kProviderError, u"Only one transaction can be active on this session.");
    }
    b.Begin();
    ++transactionDepth_;
}

void Connection::BeginTransWith(const TransactionStatements& statements) {
    Backend& b = Live();
    RunHook(statements.begin);
    if (transactionDepth_ > 0) {
        throw DbError(err::kProviderError, u"Only one transaction can be active on this session.");
    }
    b.Execute(statements.begin);
    ending_ = statements;
    ++transactionDepth_;
}

void Connection::BeginTransWithNextQuery(const TransactionStatements& statements) {
    Live();
    RunHook(statements.begin);
    if (transactionDepth_ > 0) {
        throw DbError(err::kProviderError, u"Only one transaction can be active on this session.");
    }
    ending_ = statements;
    beginPending_ = true;
    ++transactionDepth_;
}

void Connection::CommitTransWithNextQuery() {
    if (transactionDepth_ == 0 || !ending_) {
        throw DbError(err::kProviderError, u"No transaction is active.");
    }
    commitPending_ = true;
}

void Connection::CommitTrans() {
    Backend& b = Live();
    RunHook(ending_ ? ending_->commit : u"COMMIT TRANSACTION");
    if (transactionDepth_ == 0) throw DbError(err::kProviderError, u"No transaction is active.");
    commitPending_ = false;
    if (beginPending_) {  // nothing was sent: nothing to end
        beginPending_ = false;
        ending_.reset();
    } else if (ending_) {
        b.Execute(ending_->commit);
        ending_.reset();
    } else {
        b.Commit();
    }
    --transactionDepth_;
}

void Connection::RollbackTrans() {
    Backend& b = Live();
    if (transactionDepth_ == 0) throw DbError(err::kProviderError, u"No transaction is active.");
    // A rollback is never failed by the hook: it is the way back from an injected failure.
    // Whether or not the store accepts it, the transaction is over for this session: one the
    // store has already ended, or abandoned with a broken link, cannot be rolled back later,
    // and counting it on would refuse every later BeginTrans.
    --transactionDepth_;
    commitPending_ = false;
    if (beginPending_) {
        beginPending_ = false;
        ending_.reset();
    } else if (ending_) {
        const std::u16string rollback = std::move(ending_->rollback);
        ending_.reset();
        b.Execute(rollback);
    } else {
        b.Rollback();
    }
}

void Recordset::Open(const std::u16string& sql, const std::shared_ptr<Connection>& conn, int,
                     int lockType, int) {
    if (data_) err::Raise(err::kAlreadyOpen);
    if (!conn || conn->State() != kStateOpen) err::Raise(err::kConnectionInvalid);
    data_ = conn->Query(sql);
    pos_ = 0;
    lockType_ = lockType;
}

const ResultData& Recordset::Data() const {
    if (!data_) err::Raise(err::kObjectClosed);
    return *data_;
}

long Recordset::RecordCount() const {
    return static_cast<long>(Data().rows.size());
}
bool Recordset::Eof() const {
    return pos_ >= Data().rows.size();
}
bool Recordset::Bof() const {
    return Data().rows.empty();
}
void Recordset::MoveFirst() {
    Data();
    pos_ = 0;
}
void Recordset::MoveNext() {
    if (Eof()) err::Raise(err::kNoCurrentRecord);
    ++pos_;
}
long Recordset::AbsolutePosition() const {
    return Eof() ? 0 : static_cast<long>(pos_ + 1);
}

const std::vector<Column>& Recordset::Columns() const {
    return Data().columns;
}

Field Recordset::Fields(std::u16string_view name) const {
    const ResultData& d = Data();
    for (size_t i = 0; i < d.columns.size(); ++i) {
        if (EqualsNoCase(d.columns[i].name, name)) {
            if (pos_ >= d.rows.size()) err::Raise(err::kNoCurrentRecord);
            return Field{d.columns[i].name, d.columns[i].type, d.rows[pos_][i]};
        }
    }
    err::Raise(err::kItemNotFound);
}

const FieldValue& Recordset::Value(size_t column) const {
    const ResultData& d = Data();
    if (column >= d.columns.size()) err::Raise(err::kItemNotFound);
    if (pos_ >= d.rows.size()) err::Raise(err::kNoCurrentRecord);
    return d.rows[pos_][column];
}

std::shared_ptr<Recordset> Recordset::Clone() const {
    Data();
    auto c = std::make_shared<Recordset>();
    c->data_ = data_;  // rows are immutable, so the clone shares them and has its own cursor
    c->lockType_ = lockType_;
    c->CursorLocation = CursorLocation;
    c->CacheSize = CacheSize;
    return c;
}

void Recordset::Close() {
    if (!data_) err::Raise(err::kObjectClosed);
    data_.reset();
    pos_ = 0;
}

}  // namespace quorvel
