#include "store/odbc_backend.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <time.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

#include "store/dialect.h"
#include "store/error.h"
#include "store/odbc_connstring.h"
#include "store/spin_lock.h"
#include "store/text.h"

namespace quorvel {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC API must be UTF-16");

namespace {

SQLWCHAR* W(const std::u16string& s) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(s.c_str()));
}

std::u16string FromW(const SQLWCHAR* p, size_t units) {
    return std::u16string(reinterpret_cast<const char16_t*>(p), units);
}

// The first diagnostic record: what the driver (or the driver manager) says went wrong.
struct Diagnostic {
    std::u16string text;
    std::u16string state;  // the SQLSTATE
    SQLINTEGER native = 0;
};

Diagnostic ReadDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> buffer(512);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native, buffer.data(),
                                      static_cast<SQLSMALLINT>(buffer.size()), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (static_cast<size_t>(length) < buffer.size()) {
            return {FromW(buffer.data(), static_cast<size_t>(length)), FromW(state, 5), native};
        }
        buffer.resize(static_cast<size_t>(length) + 1);
    }
    return {u"The ODBC driver reported a failure without a description.", u"", 0};
}

std::u16string FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
    return ReadDiagnostic(handleType, handle).text;
}

// A wait for a lock that outlasted the command timeout, however the driver puts it: the ODBC
// timeout states, PostgreSQL's cancelled statement and refused lock, SQL Server's lock timeout
// (1222; 33557097 on servers that speak its protocol over PostgreSQL) and its refused
// application lock, and SQLite's busy (its driver's native code).
bool IsTimeout(const Diagnostic& d, std::optional<Dialect> dialect) {
    for (const char16_t* s : {u"HYT00", u"HYT01", u"57014", u"55P03"}) {
        if (d.state == s) return true;
    }
    if (dialect == Dialect::SqlServer) {
        return d.native == 1222 || d.native == 33557097 ||
               d.text.find(kLockNotGranted) != std::u16string::npos;
    }
    return dialect == Dialect::Sqlite && (d.native & 0xFF) == 5;
}

SQLHENV Environment() {
    static const SQLHENV env = [] {
        // Pooling is a process-wide switch that must be set before the environment exists.
        // Windows' driver manager honours it; unixODBC pools when its configuration says so.
        SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_CP_ONE_PER_DRIVER)),
                      SQL_IS_UINTEGER);
        SQLHENV e = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e))) return SQLHENV{};
        SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_OV_ODBC3)), 0);
        return e;
    }();
    if (!env) {
        throw DbError(err::kProviderError, u"The ODBC driver manager could not be initialised.");
    }
    return env;
}

short TypeCode(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_SMALLINT:
            return adtype::kSmallInt;
        case SQL_TINYINT:
            return adtype::kUnsignedTinyInt;
        case SQL_INTEGER:
            return adtype::kInteger;
        case SQL_BIGINT:
            return adtype::kBigInt;
        case SQL_REAL:
            return adtype::kSingle;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return adtype::kDouble;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return adtype::kNumeric;
        case SQL_BIT:
            return adtype::kBoolean;
        case SQL_TYPE_DATE:
        case SQL_DATE:
            return adtype::kDBDate;
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return adtype::kDBTime;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
            return adtype::kDBTimeStamp;
        case SQL_CHAR:
            return adtype::kChar;
        case SQL_VARCHAR:
            return adtype::kVarChar;
        case SQL_LONGVARCHAR:
            return adtype::kLongVarChar;
        case SQL_WCHAR:
            return adtype::kWChar;
        case SQL_WVARCHAR:
            return adtype::kVarWChar;
        case SQL_WLONGVARCHAR:
            return adtype::kLongVarWChar;
        case SQL_BINARY:
            return adtype::kBinary;
        case SQL_VARBINARY:
            return adtype::kVarBinary;
        case SQL_LONGVARBINARY:
            return adtype::kLongVarBinary;
        case SQL_GUID:
            return adtype::kGuid;
        default:
            return adtype::kVarWChar;
    }
}

std::optional<Dialect> DialectOf(const std::u16string& dbms) {
    std::u16string d = ToUpper(dbms);
    if (d.find(u"SQL SERVER") != std::u16string::npos) return Dialect::SqlServer;
    if (d.find(u"SQLITE") != std::u16string::npos) return Dialect::Sqlite;
    if (d.find(u"POSTGRES") != std::u16string::npos) return Dialect::PostgreSql;
    return std::nullopt;  // an unknown database gets the statements as the host wrote them
}

// unixODBC hands text to drivers that only take narrow strings in the encoding of the calling
// thread's locale, and a program that never set one has ASCII: every other character is lost.
// The databases those drivers reach (SQLite among them) keep UTF-8, so connections are made with
// UTF-8 as the thread's encoding for every call that converts text, without touching the
// process's locale.
class Utf8ThreadLocale {
  public:
#ifdef _WIN32
    Utf8ThreadLocale() {}  // Windows' driver manager converts UTF-16 itself
#else
    Utf8ThreadLocale() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        if (utf8) previous_ = uselocale(utf8);
    }
    ~Utf8ThreadLocale() {
        if (previous_) uselocale(previous_);
    }

  private:
    locale_t previous_{};
#endif
  public:
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;
};

// SQLite's drivers for unixODBC take narrow text only, and the driver manager converts wide text
// for them as UCS-2, losing every character outside the BMP. SQLite's narrow text is UTF-8, so
// this backend converts itself and hands them UTF-8.
bool TextIsNarrow(Dialect d) {
#ifdef _WIN32
    (void)d;
    return false;  // Windows' driver manager converts UTF-16 itself
#else
    switch (d) {
        case Dialect::Sqlite:
            return true;
        case Dialect::SqlServer:
        case Dialect::PostgreSql:
            return false;
    }
    return false;
#endif
}

class OdbcBackend;

class Statement {
  public:
    explicit Statement(OdbcBackend& owner);
    ~Statement() {
        if (h_) SQLFreeHandle(SQL_HANDLE_STMT, h_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return h_; }
    void Check(SQLRETURN rc) const;

  private:
    OdbcBackend& owner_;
    SQLHSTMT h_ = SQL_NULL_HSTMT;
};

class OdbcBackend final : public Backend {
  public:
    OdbcBackend(SQLHDBC dbc, std::vector<std::u16string> secrets)
        : dbc_(dbc), secrets_(std::move(secrets)) {
        SQLWCHAR name[128] = {};
        SQLSMALLINT bytes = 0;
        if (SQL_SUCCEEDED(SQLGetInfoW(dbc_, SQL_DBMS_NAME, name, sizeof(name), &bytes))) {
            dialect_ = DialectOf(FromW(name, static_cast<size_t>(bytes) / sizeof(SQLWCHAR)));
        }
        narrow_ = dialect_ && TextIsNarrow(*dialect_);
    }
    ~OdbcBackend() override { Close(); }

    [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE h) const {
        Diagnostic d = ReadDiagnostic(type, h);
        throw DbError(IsTimeout(d, dialect_) ? err::kTimeout : err::kProviderError,
                      MaskSecrets(d.text, secrets_));
    }
    SQLHDBC dbc() const {
        if (!dbc_) err::Raise(err::kObjectClosed);
        return dbc_;
    }

    void Execute(const std::u16string& sql) override {
        WhileBusy([&] { ExecuteOnce(sql); });
    }

    std::shared_ptr<const ResultData> Query(const std::u16string& sql) override {
        std::shared_ptr<const ResultData> data;
        WhileBusy([&] { data = Run(Adapt(sql), false); });
        return data;
    }

  private:
    // The SQLite3 drivers wait their busy timeout over again for each step of a statement
    // (preparing, running, taking the write lock): two or three times what they are given. So
    // they are given a short one (WithDriverBusyTimeout), and a statement that finds the database
    // locked is tried again here until the command timeout has passed. A statement refused as
    // busy has done nothing, and a COMMIT refused so is still to be done.
    template <class F>
    void WhileBusy(F&& statement) {
        if (dialect_ != Dialect::Sqlite || commandTimeout_ <= 0) return statement();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(commandTimeout_);
        for (;;) {
            try {
                return statement();
            } catch (const DbError& e) {
                if (e.Number() != err::kTimeout || std::chrono::steady_clock::now() >= deadline) {
                    throw;
                }
            }
            PauseBriefly();
        }
    }
    static void PauseBriefly() {
#ifdef _WIN32
        Sleep(10);
#else
        const timespec pause{0, 10'000'000};
        nanosleep(&pause, nullptr);
#endif
    }

    void ExecuteOnce(const std::u16string& sql) {
        Utf8ThreadLocale utf8;
        Statement st(*this);
        SQLRETURN rc = ExecDirect(st, Adapt(sql));
        if (rc == SQL_NO_DATA) return;  // a searched change that touched no row
        st.Check(rc);
        // A batch fails in any of its statements; look at every result.
        while ((rc = SQLMoreResults(st.get())) != SQL_NO_DATA) st.Check(rc);
    }

  public:
    // PostgreSQL's and SQL Server's drivers send several statements in one exchange (a batch):
    // a scan's begin and commit then cost no round trip of their own. In a SQL Server batch the
    // commit runs even after a failed query; a scan only reads, so that commits nothing.
    std::shared_ptr<const ResultData> QueryBetween(const std::u16string& before,
                                                   const std::u16string& sql,
                                                   const std::u16string& after) override {
        if (dialect_ != Dialect::PostgreSql && dialect_ != Dialect::SqlServer) {
            return Backend::QueryBetween(before, sql, after);
        }
        std::u16string text;
        if (!before.empty()) {
            text += Adapt(before);
            text += u';';
        }
        text += Adapt(sql);
        if (!after.empty()) {
            text += u';';
            text += Adapt(after);
        }
        return Run(std::move(text), true);
    }

  private:
    // `text` as the database takes it; `drain` looks at the results of the statements after the
    // one whose rows are read, so that none fails unseen.
    std::shared_ptr<const ResultData> Run(std::u16string text, bool drain) {
        Utf8ThreadLocale utf8;
        Statement st(*this);
        SQLRETURN rc = ExecDirect(st, std::move(text));
        auto data = std::make_shared<ResultData>();
        if (rc == SQL_NO_DATA) return data;
        st.Check(rc);
        SQLSMALLINT n = 0;
        st.Check(SQLNumResultCols(st.get(), &n));
        while (n == 0) {  // skip the counts of statements that return no rows
            rc = SQLMoreResults(st.get());
            if (rc == SQL_NO_DATA) return data;
            st.Check(rc);
            st.Check(SQLNumResultCols(st.get(), &n));
        }
        data->columns.resize(static_cast<size_t>(n));
        for (SQLSMALLINT i = 1; i <= n; ++i) {
            SQLSMALLINT nameLen = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            Column& c = data->columns[static_cast<size_t>(i - 1)];
            if (narrow_) {
                SQLCHAR name[512] = {};
                st.Check(SQLDescribeCol(st.get(), static_cast<SQLUSMALLINT>(i), name, 512, &nameLen,
                                        &sqlType, &size, &digits, &nullable));
                c.name =
                    FromUtf8(std::string(reinterpret_cast<const char*>(name),
                                         static_cast<size_t>(std::min<SQLSMALLINT>(nameLen, 511))));
            } else {
                SQLWCHAR name[256] = {};
                st.Check(SQLDescribeColW(st.get(), static_cast<SQLUSMALLINT>(i), name, 256,
                                         &nameLen, &sqlType, &size, &digits, &nullable));
                c.name = FromW(name, static_cast<size_t>(std::min<SQLSMALLINT>(nameLen, 255)));
            }
            c.type = TypeCode(sqlType);
        }
        while ((rc = SQLFetch(st.get())) != SQL_NO_DATA) {
            st.Check(rc);
            std::vector<FieldValue> row;
            row.reserve(static_cast<size_t>(n));
            for (SQLSMALLINT i = 1; i <= n; ++i) {
                row.push_back(Read(st, static_cast<SQLUSMALLINT>(i),
                                   data->columns[static_cast<size_t>(i - 1)].type));
            }
            data->rows.push_back(std::move(row));
        }
        if (dialect_ == Dialect::Sqlite) TypeUntypedNulls(st, *data);
        if (drain) {
            while ((rc = SQLMoreResults(st.get())) != SQL_NO_DATA) st.Check(rc);
        }
        return data;
    }

  public:
    void Begin() override {
        SetAutocommit(false);
    }
    void Commit() override {
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc(), SQL_COMMIT);
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc_);
        SetAutocommit(true);
    }
    void Rollback() override {
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc(), SQL_ROLLBACK);
        std::optional<DbError> failure;
        if (!SQL_SUCCEEDED(rc)) {
            failure.emplace(err::kProviderError,
                            MaskSecrets(FirstDiagnostic(SQL_HANDLE_DBC, dbc_), secrets_));
        }
        // Back to autocommit whatever happened: a pooled connection must not keep a
        // transaction mode for its next user.
        SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_AUTOCOMMIT_ON)),
                           SQL_IS_UINTEGER);
        if (failure) throw *failure;
    }
    std::optional<Dialect> DatabaseDialect() const override {
        return dialect_;
    }
    void SetCommandTimeout(int seconds) override {
        commandTimeout_ = seconds < 0 ? 0 : seconds;
    }
    int CommandTimeout() const {
        return commandTimeout_;
    }
    void Close() noexcept override {
        if (!dbc_) return;
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        dbc_ = SQL_NULL_HDBC;
    }

  private:
    std::u16string Adapt(const std::u16string& sql) const {
        return dialect_ ? AdaptSql(sql, *dialect_) : sql;
    }

    // SQLite types an expression by its first value and calls a Null one text. An expression that
    // is Null in every row is typed as an integer instead, as the server types an untyped NULL
    // and as the embedded store does: "max(js)" over no levels must read as the number 0.
    static void TypeUntypedNulls(const Statement& st, ResultData& data) {
        for (size_t i = 0; i < data.columns.size(); ++i) {
            bool allNull = std::all_of(data.rows.begin(), data.rows.end(),
                                       [&](const auto& r) { return r[i].IsNull(); });
            if (!allNull) continue;
            SQLWCHAR table[128] = {};
            SQLSMALLINT bytes = 0;
            SQLRETURN rc =
                SQLColAttributeW(st.get(), static_cast<SQLUSMALLINT>(i + 1),
                                 SQL_DESC_BASE_TABLE_NAME, table, sizeof(table), &bytes, nullptr);
            if (!SQL_SUCCEEDED(rc) || bytes > 0) continue;  // a table's column keeps its type
            data.columns[i].type = adtype::kInteger;
            for (auto& r : data.rows) r[i] = FieldValue::Null(adtype::kInteger);
        }
    }

    void SetAutocommit(bool on) {
        SQLRETURN rc = SQLSetConnectAttrW(dbc(), SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                                              on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                          SQL_IS_UINTEGER);
        if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc_);
    }

    SQLRETURN ExecDirect(const Statement& st, std::u16string text) const {
        if (narrow_) {
            std::string utf8 = ToUtf8(text);
            return SQLExecDirect(st.get(), reinterpret_cast<SQLCHAR*>(utf8.data()), SQL_NTS);
        }
        return SQLExecDirectW(st.get(), W(text), SQL_NTS);
    }

    std::u16string ReadText(const Statement& st, SQLUSMALLINT col, bool& isNull) const {
        return narrow_ ? ReadNarrowText(st, col, isNull) : ReadWideText(st, col, isNull);
    }

    static std::u16string ReadNarrowText(const Statement& st, SQLUSMALLINT col, bool& isNull) {
        std::string out;
        char buf[4096];
        isNull = false;
        for (;;) {
            SQLLEN ind = 0;
            SQLRETURN rc = SQLGetData(st.get(), col, SQL_C_CHAR, buf, sizeof(buf), &ind);
            if (rc == SQL_NO_DATA) break;
            st.Check(rc);
            if (ind == SQL_NULL_DATA) {
                isNull = true;
                return u"";
            }
            size_t capacity = sizeof(buf) - 1;
            size_t got = (ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) > capacity)
                             ? capacity
                             : static_cast<size_t>(ind);
            out.append(buf, got);
            if (rc == SQL_SUCCESS) break;  // with info: truncated, more to come
        }
        return FromUtf8(out);
    }

    static std::u16string ReadWideText(const Statement& st, SQLUSMALLINT col, bool& isNull) {
        std::u16string out;
        SQLWCHAR buf[1024];
        isNull = false;
        for (;;) {
            SQLLEN ind = 0;
            SQLRETURN rc = SQLGetData(st.get(), col, SQL_C_WCHAR, buf, sizeof(buf), &ind);
            if (rc == SQL_NO_DATA) break;
            st.Check(rc);
            if (ind == SQL_NULL_DATA) {
                isNull = true;
                return out;
            }
            size_t capacity = sizeof(buf) / sizeof(SQLWCHAR) - 1;
            size_t got = (ind == SQL_NO_TOTAL || ind < 0 ||
                          static_cast<size_t>(ind) / sizeof(SQLWCHAR) > capacity)
                             ? capacity
                             : static_cast<size_t>(ind) / sizeof(SQLWCHAR);
            out.append(reinterpret_cast<const char16_t*>(buf), got);
            if (rc == SQL_SUCCESS) break;  // with info: truncated, more to come
        }
        return out;
    }

    FieldValue Read(const Statement& st, SQLUSMALLINT col, short type) const {
        SQLLEN ind = 0;
        switch (type) {
            case adtype::kSmallInt:
            case adtype::kUnsignedTinyInt:
            case adtype::kInteger:
            case adtype::kBigInt: {
                int64_t v = 0;
                st.Check(SQLGetData(st.get(), col, SQL_C_SBIGINT, &v, sizeof(v), &ind));
                if (ind == SQL_NULL_DATA) return FieldValue::Null(type);
                if (type == adtype::kSmallInt && v >= INT16_MIN && v <= INT16_MAX)
                    return FieldValue::I16(static_cast<int16_t>(v), type);
                if (type != adtype::kBigInt && v >= INT32_MIN && v <= INT32_MAX)
                    return FieldValue::I32(static_cast<int32_t>(v), type);
                return FieldValue::I64(v, type);
            }
            case adtype::kBoolean: {
                unsigned char v = 0;
                st.Check(SQLGetData(st.get(), col, SQL_C_BIT, &v, sizeof(v), &ind));
                if (ind == SQL_NULL_DATA) return FieldValue::Null(type);
                return FieldValue::Boolean(v != 0, type);
            }
            case adtype::kSingle:
            case adtype::kDouble: {
                double v = 0;
                st.Check(SQLGetData(st.get(), col, SQL_C_DOUBLE, &v, sizeof(v), &ind));
                if (ind == SQL_NULL_DATA) return FieldValue::Null(type);
                return FieldValue::Real(
                    v,
                    type == adtype::kSingle ? FieldValue::Kind::Single : FieldValue::Kind::Double,
                    type);
            }
            case adtype::kNumeric: {
                // Read as text: the driver's exact digits, not a binary approximation on the way.
                bool isNull = false;
                std::u16string text = ReadText(st, col, isNull);
                if (isNull) return FieldValue::Null(type);
                double v = 0;
                if (ParseNumber(text, v))
                    return FieldValue::Real(v, FieldValue::Kind::Decimal, type);
                return FieldValue::Text(std::move(text), type);
            }
            case adtype::kDBDate:
            case adtype::kDBTime:
            case adtype::kDBTimeStamp: {
                bool isNull = false;
                std::u16string text = ReadText(st, col, isNull);
                if (isNull) return FieldValue::Null(type);
                double d = 0;
                if (ParseDate(text.substr(0, 19), d)) return FieldValue::Date(d, type);
                return FieldValue::Text(std::move(text), type);
            }
            default: {
                bool isNull = false;
                std::u16string text = ReadText(st, col, isNull);
                if (isNull) return FieldValue::Null(type);
                return FieldValue::Text(std::move(text), type);
            }
        }
    }

    SQLHDBC dbc_;
    std::vector<std::u16string> secrets_;
    std::optional<Dialect> dialect_;
    bool narrow_ = false;
    int commandTimeout_ = static_cast<int>(kDefaultCommandTimeout);
};

Statement::Statement(OdbcBackend& owner) : owner_(owner) {
    SQLHDBC dbc = owner.dbc();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_))) {
        h_ = SQL_NULL_HSTMT;
        owner.Fail(SQL_HANDLE_DBC, dbc);
    }
    // The driver cancels a statement that runs longer and reports that as its failure. A driver
    // that cannot bound statements says so in a warning, and the statement runs unbounded.
    SQLSetStmtAttrW(h_, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(owner.CommandTimeout())),
                    SQL_IS_UINTEGER);
}

void Statement::Check(SQLRETURN rc) const {
    if (!SQL_SUCCEEDED(rc)) owner_.Fail(SQL_HANDLE_STMT, h_);
}

OdbcPlatform ThisPlatform() {
#ifdef _WIN32
    return OdbcPlatform::Windows;
#else
    return OdbcPlatform::Linux;
#endif
}

}  // namespace

std::vector<std::u16string> InstalledOdbcDrivers() {
    std::vector<std::u16string> out;
    SQLHENV env = Environment();
    // The enumeration's place is kept in the environment, which every thread shares: two threads
    // opening a host's connection at once would each see part of the list, and one of them none
    // of the SQL Server drivers.
    static std::atomic_flag listing;
    SpinLock lock(listing);
    SQLWCHAR name[256];
    SQLWCHAR attrs[1024];
    SQLSMALLINT nameLen = 0, attrLen = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLRETURN rc = SQLDriversW(env, direction, name, 256, &nameLen, attrs, 1024, &attrLen);
        if (!SQL_SUCCEEDED(rc)) break;
        out.push_back(FromW(name, static_cast<size_t>(std::min<SQLSMALLINT>(nameLen, 255))));
        direction = SQL_FETCH_NEXT;
    }
    return out;
}

std::unique_ptr<Backend> OpenOdbcBackend(const ConnString& cs, std::u16string_view raw,
                                         int timeoutSeconds, int commandTimeoutSeconds) {
    std::optional<OdbcConnect> target =
        TranslateConnString(cs, raw, InstalledOdbcDrivers, ThisPlatform());
    if (!target) return nullptr;
    std::vector<std::u16string> secrets = SecretsOf(cs);
    Utf8ThreadLocale utf8;
    SQLHENV env = Environment();
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        throw DbError(err::kProviderError,
                      MaskSecrets(FirstDiagnostic(SQL_HANDLE_ENV, env), secrets));
    }
    int timeout = target->loginTimeout.value_or(timeoutSeconds);
    if (timeout < 0) timeout = 0;
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(timeout)),
                       SQL_IS_UINTEGER);
    SQLSMALLINT outLen = 0;
    const std::u16string connect = WithDriverBusyTimeout(target->connect, commandTimeoutSeconds);
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, W(connect), SQL_NTS, nullptr, 0, &outLen,
                                     SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::u16string why = MaskSecrets(FirstDiagnostic(SQL_HANDLE_DBC, dbc), secrets);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        throw DbError(err::kProviderError, why);
    }
    return std::make_unique<OdbcBackend>(dbc, std::move(secrets));
}

}  // namespace quorvel
