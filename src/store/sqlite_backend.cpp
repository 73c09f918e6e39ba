// The embedded store: a database file reached through libsqlite3.
#include <sqlite3.h>

#include <climits>
#include <cstring>

#include "store/backend.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/text.h"

namespace quorvel {

namespace {

std::u16string ErrorText(sqlite3* db) {
    auto p = static_cast<const char16_t*>(sqlite3_errmsg16(db));
    return p ? std::u16string(p) : u"unknown error";
}

// Busy means another connection held the lock past the busy timeout, the command timeout here.
[[noreturn]] void Fail(sqlite3* db, int rc) {
    throw DbError((rc & 0xFF) == SQLITE_BUSY ? err::kTimeout : err::kProviderError, ErrorText(db));
}

bool Contains(const std::u16string& haystack, std::u16string_view needle) {
    return haystack.find(needle) != std::u16string::npos;
}

// The declared type of a column, as the data-access layer's type code. 0 when nothing is
// declared (an expression); the values then decide.
short TypeFromDecl(const char16_t* decl) {
    if (!decl || !*decl) return 0;
    std::u16string d = ToUpper(decl);
    if (Contains(d, u"CHAR")) return adtype::kVarWChar;
    if (Contains(d, u"TEXT") || Contains(d, u"CLOB")) return adtype::kLongVarWChar;
    if (Contains(d, u"BIGINT")) return adtype::kBigInt;
    if (Contains(d, u"SMALLINT")) return adtype::kSmallInt;
    if (Contains(d, u"TINYINT")) return adtype::kUnsignedTinyInt;
    if (Contains(d, u"BIT") || Contains(d, u"BOOL")) return adtype::kBoolean;
    if (Contains(d, u"INT")) return adtype::kInteger;
    if (Contains(d, u"MONEY")) return adtype::kCurrency;
    if (Contains(d, u"DEC") || Contains(d, u"NUMERIC")) return adtype::kNumeric;
    if (Contains(d, u"REAL")) return adtype::kSingle;
    if (Contains(d, u"FLOA") || Contains(d, u"DOUB")) return adtype::kDouble;
    if (Contains(d, u"DATETIME") || Contains(d, u"TIMESTAMP")) return adtype::kDBTimeStamp;
    if (Contains(d, u"DATE")) return adtype::kDBDate;
    if (Contains(d, u"TIME")) return adtype::kDBTime;
    if (Contains(d, u"BLOB") || Contains(d, u"BINARY")) return adtype::kLongVarBinary;
    if (Contains(d, u"GUID") || Contains(d, u"UNIQUEIDENTIFIER")) return adtype::kGuid;
    return adtype::kVarWChar;
}

std::u16string ColumnText(sqlite3_stmt* st, int i) {
    auto p = static_cast<const char16_t*>(sqlite3_column_text16(st, i));
    int bytes = sqlite3_column_bytes16(st, i);
    return p ? std::u16string(p, static_cast<size_t>(bytes) / 2) : std::u16string();
}

FieldValue ReadValue(sqlite3_stmt* st, int i, short type) {
    int storage = sqlite3_column_type(st, i);
    if (storage == SQLITE_NULL) return FieldValue::Null(type);
    switch (type) {
        case adtype::kSmallInt:
        case adtype::kUnsignedTinyInt:
        case adtype::kInteger:
        case adtype::kBigInt: {
            if (storage == SQLITE_INTEGER) {
                sqlite3_int64 v = sqlite3_column_int64(st, i);
                if (type == adtype::kSmallInt && v >= -32768 && v <= 32767)
                    return FieldValue::I16(static_cast<int16_t>(v), type);
                if (type != adtype::kBigInt && v >= INT32_MIN && v <= INT32_MAX)
                    return FieldValue::I32(static_cast<int32_t>(v), type);
                return FieldValue::I64(v, type);
            }
            // SQLite keeps whatever was stored; a non-integer in an integer column is read as
            // the number it is, or as its text when it is none.
            if (storage == SQLITE_FLOAT)
                return FieldValue::Real(sqlite3_column_double(st, i), FieldValue::Kind::Double,
                                        type);
            return FieldValue::Text(ColumnText(st, i), type);
        }
        case adtype::kBoolean:
            return FieldValue::Boolean(sqlite3_column_int64(st, i) != 0, type);
        case adtype::kSingle:
            return FieldValue::Real(sqlite3_column_double(st, i), FieldValue::Kind::Single, type);
        case adtype::kDouble:
            return FieldValue::Real(sqlite3_column_double(st, i), FieldValue::Kind::Double, type);
        case adtype::kCurrency:
            return FieldValue::Real(sqlite3_column_double(st, i), FieldValue::Kind::Currency, type);
        case adtype::kNumeric:
            return FieldValue::Real(sqlite3_column_double(st, i), FieldValue::Kind::Decimal, type);
        case adtype::kDBTimeStamp:
        case adtype::kDBDate:
        case adtype::kDBTime: {
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return FieldValue::Date(sqlite3_column_double(st, i), type);
            double d;
            std::u16string text = ColumnText(st, i);
            if (ParseDate(text, d)) return FieldValue::Date(d, type);
            return FieldValue::Text(std::move(text), type);
        }
        default:
            return FieldValue::Text(ColumnText(st, i), type);
    }
}

// The type an expression column gets from its first value. An expression that is Null in every
// row is typed as an integer, as the server types an untyped NULL; so "max(js)" over no levels
// still reads as a number whose Null default is 0.
short TypeFromStorage(int storage, sqlite3_int64 intValue) {
    switch (storage) {
        case SQLITE_INTEGER:
            return (intValue >= INT32_MIN && intValue <= INT32_MAX) ? adtype::kInteger
                                                                    : adtype::kBigInt;
        case SQLITE_FLOAT:
            return adtype::kDouble;
        case SQLITE_TEXT:
            return adtype::kVarWChar;
        case SQLITE_BLOB:
            return adtype::kLongVarBinary;
        default:
            return adtype::kInteger;
    }
}

class Statement {
  public:
    Statement(sqlite3* db, const char16_t* sql, size_t units, const char16_t** tail) {
        int rc = sqlite3_prepare16_v2(db, sql, static_cast<int>(units * 2), &st_,
                                      reinterpret_cast<const void**>(tail));
        if (rc != SQLITE_OK) Fail(db, rc);
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return st_; }

  private:
    sqlite3_stmt* st_ = nullptr;
};

class SqliteBackend final : public Backend {
  public:
    explicit SqliteBackend(sqlite3* db) : db_(db) {}
    ~SqliteBackend() override { Close(); }

    void Execute(const std::u16string& sql) override {
        std::u16string adapted = AdaptSql(sql, Dialect::Sqlite);
        const char16_t* rest = adapted.c_str();
        const char16_t* end = adapted.c_str() + adapted.size();
        while (rest < end) {
            const char16_t* tail = nullptr;
            Statement st(db_, rest, static_cast<size_t>(end - rest), &tail);
            if (!st.get()) break;  // only blanks or comments were left
            int rc;
            while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) Fail(db_, rc);
            if (!tail || tail <= rest) break;
            rest = tail;
        }
    }

    std::shared_ptr<const ResultData> Query(const std::u16string& sql) override {
        std::u16string adapted = AdaptSql(sql, Dialect::Sqlite);
        Statement st(db_, adapted.data(), adapted.size(), nullptr);
        auto data = std::make_shared<ResultData>();
        if (!st.get()) return data;
        sqlite3_stmt* s = st.get();
        int n = sqlite3_column_count(s);
        data->columns.resize(static_cast<size_t>(n));
        std::vector<bool> undeclared(static_cast<size_t>(n), false);
        for (int i = 0; i < n; ++i) {
            auto name = static_cast<const char16_t*>(sqlite3_column_name16(s, i));
            data->columns[static_cast<size_t>(i)].name = name ? name : u"";
            short t = TypeFromDecl(static_cast<const char16_t*>(sqlite3_column_decltype16(s, i)));
            // A table column made without a type is text, as drivers report such a column; only
            // expressions take their type from their values, so a Null there stays a Null text.
            if (t == 0 && sqlite3_column_table_name16(s, i)) t = adtype::kVarWChar;
            data->columns[static_cast<size_t>(i)].type = t;
            undeclared[static_cast<size_t>(i)] = (t == 0);
        }
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            std::vector<FieldValue> row;
            row.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                Column& col = data->columns[static_cast<size_t>(i)];
                if (col.type == 0) {
                    int storage = sqlite3_column_type(s, i);
                    if (storage != SQLITE_NULL) {
                        col.type = TypeFromStorage(storage, sqlite3_column_int64(s, i));
                        // Earlier rows were all Null: retype them to this column's type.
                        for (auto& r : data->rows)
                            r[static_cast<size_t>(i)] = FieldValue::Null(col.type);
                    }
                }
                row.push_back(ReadValue(s, i, col.type));
            }
            data->rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) Fail(db_, rc);
        for (size_t i = 0; i < data->columns.size(); ++i) {
            if (data->columns[i].type != 0) continue;
            data->columns[i].type = TypeFromStorage(SQLITE_NULL, 0);
            for (auto& r : data->rows) r[i] = FieldValue::Null(data->columns[i].type);
        }
        return data;
    }

    void Begin() override { Execute(u"BEGIN"); }
    void Commit() override { Execute(u"COMMIT"); }
    void Rollback() override { Execute(u"ROLLBACK"); }
    std::optional<Dialect> DatabaseDialect() const override { return Dialect::Sqlite; }
    // A statement on the embedded store only waits when another connection holds a lock; the
    // busy timeout bounds that wait.
    void SetCommandTimeout(int seconds) override {
        if (seconds == timeout_ || !db_) return;
        sqlite3_busy_timeout(
            db_, seconds <= 0 ? INT_MAX : (seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000));
        timeout_ = seconds;
    }
    void Close() noexcept override {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
    }

  private:
    sqlite3* db_;
    int timeout_ = -1;  // none set yet
};

}  // namespace

std::unique_ptr<Backend> OpenSqliteBackend(const ConnString& cs, std::u16string_view,
                                           int timeoutSeconds, int commandTimeoutSeconds) {
    auto provider = cs.Get(u"Provider");
    if (!provider || !EqualsNoCase(*provider, u"SQLite")) return nullptr;
    auto file = cs.Get(u"Data Source");
    if (!file || file->empty()) {
        throw DbError(err::kProviderError, u"The connection string names no Data Source.");
    }
    sqlite3* db = nullptr;
    // Never create a missing file: a typing error in the path must fail, not start an empty store.
    int rc = sqlite3_open_v2(ToUtf8(*file).c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::u16string msg = db ? ErrorText(db) : u"out of memory";
        sqlite3_close_v2(db);
        throw DbError(err::kProviderError, msg + u": " + *file);
    }
    sqlite3_extended_result_codes(db, 1);
    // Opening a file waits for nothing, so the connection timeout has nothing to bound here; the
    // statements are bounded by the command timeout.
    (void)timeoutSeconds;
    auto backend = std::make_unique<SqliteBackend>(db);
    backend->SetCommandTimeout(commandTimeoutSeconds);
    return backend;
}

}  // namespace quorvel
