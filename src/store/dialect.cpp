#include "store/dialect.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "store/text.h"

namespace quorvel {

std::u16string SqlQuote(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size() + 2);
    out += u'\'';
    for (char16_t c : value) {
        if (c == u'\'') out += u'\'';
        out += c;
    }
    out += u'\'';
    return out;
}

namespace {

enum class TokKind { Word, Number, Literal, Quoted, Space, Punct };

struct Token {
    TokKind kind;
    std::u16string_view text;
};

bool IsWordStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'@' ||
           c == u'#' || c >= 0x80;
}
bool IsWordChar(char16_t c) {
    return IsWordStart(c) || (c >= u'0' && c <= u'9') || c == u'$';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::vector<Token> Tokenize(std::u16string_view s) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        size_t b = i;
        char16_t c = s[i];
        TokKind k;
        if (c == u'\'' || ((c == u'N' || c == u'n') && i + 1 < s.size() && s[i + 1] == u'\'')) {
            if (c != u'\'') ++i;
            ++i;
            while (i < s.size()) {
                if (s[i] == u'\'') {
                    if (i + 1 < s.size() && s[i + 1] == u'\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            k = TokKind::Literal;
        } else if (c == u'"' || c == u'[') {
            char16_t close = c == u'[' ? u']' : u'"';
            ++i;
            while (i < s.size() && s[i] != close) ++i;
            if (i < s.size()) ++i;
            k = TokKind::Quoted;
        } else if (IsSpace(c)) {
            while (i < s.size() && IsSpace(s[i])) ++i;
            k = TokKind::Space;
        } else if (IsDigit(c)) {
            while (i < s.size() && (IsDigit(s[i]) || s[i] == u'.')) ++i;
            k = TokKind::Number;
        } else if (IsWordStart(c)) {
            while (i < s.size() && IsWordChar(s[i])) ++i;
            k = TokKind::Word;
        } else {
            ++i;
            k = TokKind::Punct;
        }
        out.push_back({k, s.substr(b, i - b)});
    }
    return out;
}

bool Is(const Token& t, std::u16string_view word) {
    return t.kind == TokKind::Word && EqualsNoCase(t.text, word);
}

// Index of the next token after i that is not blank, or tokens.size().
size_t NextSolid(const std::vector<Token>& t, size_t i) {
    ++i;
    while (i < t.size() && t[i].kind == TokKind::Space) ++i;
    return i;
}

// Text literals become N'...' so that non-ASCII text survives whatever the code page.
std::u16string WithNationalLiterals(std::u16string_view sql) {
    std::u16string out;
    out.reserve(sql.size() + 8);
    for (const Token& t : Tokenize(sql)) {
        if (t.kind == TokKind::Literal && t.text.front() == u'\'') out += u'N';
        out += t.text;
    }
    return out;
}

// isnull() becomes `nullFunction`, "select top N" a trailing "limit N", "delete t" "delete from
// t", and N'...' a plain literal.
std::u16string WithoutSqlServerForms(std::u16string_view sql, std::u16string_view nullFunction) {
    std::vector<Token> t = Tokenize(sql);
    std::u16string out;
    out.reserve(sql.size() + 16);
    std::u16string limit;
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        if (tok.kind == TokKind::Punct && tok.text == u"(") ++depth;
        if (tok.kind == TokKind::Punct && tok.text == u")") --depth;
        if (tok.kind == TokKind::Literal && tok.text.front() != u'\'') {
            // N'...' is a plain literal elsewhere; right after another literal it keeps a blank
            // between them, or the two would read as one literal holding a quote.
            if (!out.empty() && out.back() == u'\'') out += u' ';
            out += tok.text.substr(1);
            continue;
        }
        if (Is(tok, u"isnull")) {
            size_t n = NextSolid(t, i);
            if (n < t.size() && t[n].text == u"(") {
                out += nullFunction;
                continue;
            }
        }
        if (Is(tok, u"select") && depth == 0 && limit.empty()) {
            size_t n = NextSolid(t, i);
            if (n < t.size() && Is(t[n], u"top")) {
                size_t m = NextSolid(t, n);
                if (m < t.size() && t[m].kind == TokKind::Number) {
                    limit = std::u16string(t[m].text);
                    out += tok.text;
                    i = m;  // drop "top N"; the blank after N stays
                    continue;
                }
            }
        }
        if (Is(tok, u"delete")) {
            size_t n = NextSolid(t, i);
            if (n < t.size() && !Is(t[n], u"from") &&
                (t[n].kind == TokKind::Word || t[n].kind == TokKind::Quoted)) {
                out += tok.text;
                out += u" from";
                continue;
            }
        }
        out += tok.text;
    }
    if (!limit.empty()) {
        while (!out.empty() && (IsSpace(out.back()) || out.back() == u';')) out.pop_back();
        out += u" limit ";
        out += limit;
    }
    return out;
}

}  // namespace

std::u16string AdaptSql(std::u16string_view sql, Dialect dialect) {
    switch (dialect) {
        case Dialect::SqlServer:
            return WithNationalLiterals(sql);
        case Dialect::Sqlite:
            return WithoutSqlServerForms(sql, u"ifnull");
        case Dialect::PostgreSql:
            return WithoutSqlServerForms(sql, u"coalesce");
    }
    throw std::logic_error("AdaptSql: unknown dialect");
}

}  // namespace quorvel

namespace quorvel {

namespace {

// Application locks live in one namespace per database server, shared with other programs: ours
// carry the component's mark.
constexpr char16_t kLockPrefix[] = u"quorvel:";
constexpr int32_t kPostgresLockClass = 0x51554F52;  // the first of PostgreSQL's two lock keys

// The second of PostgreSQL's lock keys: FNV-1a over the key's UTF-16 units. Two keys that happen
// to share it only make their changes wait for each other.
int32_t LockHash(std::u16string_view key) {
    uint32_t h = 2166136261u;
    for (char16_t c : key) {
        for (unsigned byte : {static_cast<unsigned>(c & 0xFF), static_cast<unsigned>(c >> 8)}) {
            h ^= byte;
            h *= 16777619u;
        }
    }
    return static_cast<int32_t>(h);
}

// SQL Server names a lock by text of at most 255 characters; a longer key goes by its hash.
std::u16string AppLockResource(std::u16string_view key) {
    if (key.size() <= 200) return kLockPrefix + std::u16string(key);
    return kLockPrefix + std::u16string(u"#") + ToU16(static_cast<long long>(LockHash(key)));
}

// RAISERROR rather than THROW, which SQL Server 2008 R2 and older do not know; RETURN ends the
// batch, so that nothing sent with the lock runs without it.
std::u16string AppLock(std::u16string_view key, const char16_t* mode, int timeoutSeconds) {
    const long long ms = timeoutSeconds <= 0 ? -1 : std::min(timeoutSeconds * 1000LL, 2147483647LL);
    const std::u16string resource = AppLockResource(key);
    return u"DECLARE @r int; EXEC @r = sp_getapplock @Resource = " + SqlQuote(resource) +
           u", @LockMode = '" + mode + u"', @LockOwner = 'Transaction', @LockTimeout = " +
           ToU16(ms) + u"; IF @r < 0 BEGIN RAISERROR(" +
           SqlQuote(u"The lock " + resource + u" " + kLockNotGranted + u".") +
           u", 16, 1); RETURN END";
}

// SQL Server ends a wait for a lock itself, rather than leave it to the driver's cancel, which a
// server may take as long again to answer. 0: no limit, the session's default.
std::u16string LockTimeout(int timeoutSeconds) {
    const long long ms = timeoutSeconds <= 0 ? -1 : std::min(timeoutSeconds * 1000LL, 2147483647LL);
    return u"SET LOCK_TIMEOUT " + ToU16(ms);
}

bool Contains(std::u16string_view text, std::u16string_view part) {
    return ToUpper(text).find(ToUpper(part)) != std::u16string::npos;
}

}  // namespace

std::u16string SqlServerTraitsQuery() {
    // The database's default collation stands in for a column not made yet.
    return u"SELECT d.snapshot_isolation_state AS snapshot, (SELECT c.collation_name FROM "
           u"sys.columns c WHERE c.object_id = OBJECT_ID('txm_gzzb') AND c.name = 'gzid') AS "
           u"id_collation, CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')) AS "
           u"db_collation FROM sys.databases d WHERE d.database_id = DB_ID()";
}

SqlServerTraits SqlServerTraitsFrom(long snapshotState, std::u16string_view collation) {
    SqlServerTraits t;
    t.snapshotAllowed = snapshotState == 1;
    // A collation's name says what it tells apart: _CS case, _WS width; a binary one all but
    // trailing spaces, which SQL Server never counts in a comparison.
    const bool binary = Contains(collation, u"_BIN");
    t.ids.ignoresCase = !binary && !Contains(collation, u"_CS");
    t.ids.ignoresWidth = !binary && !Contains(collation, u"_WS");
    t.ids.ignoresTrailingSpaces = true;
    return t;
}

IdComparison DefaultIdComparison(Dialect dialect) {
    switch (dialect) {
        case Dialect::SqlServer:
            return SqlServerTraits{}.ids;
        case Dialect::Sqlite:
        case Dialect::PostgreSql:
            return IdComparison{};
    }
    throw std::logic_error("DefaultIdComparison: unknown dialect");
}

std::u16string RuleLockKey(std::u16string_view ruleId, const IdComparison& ids) {
    std::u16string id(ruleId);
    if (ids.ignoresWidth) {
        for (char16_t& c : id) {
            if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<char16_t>(c - 0xFF01 + 0x21);
            if (c == 0x3000) c = u' ';  // the ideographic space
        }
    }
    if (ids.ignoresTrailingSpaces) {
        while (!id.empty() && id.back() == u' ') id.pop_back();
    }
    return u"rule:" + (ids.ignoresCase ? UCase(id) : id);
}

TransactionStatements ReadVersionStatements(Dialect dialect, std::u16string_view ruleLockKey,
                                            int timeoutSeconds, bool snapshotAllowed) {
    switch (dialect) {
        case Dialect::Sqlite:
            // The shared lock, taken by the first read, is kept until the commit.
            return {u"BEGIN DEFERRED", u"COMMIT", u"ROLLBACK"};
        case Dialect::PostgreSql:
            return {u"BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", u"COMMIT", u"ROLLBACK"};
        case Dialect::SqlServer: {
            // READ_COMMITTED_SNAPSHOT alone gives each statement its own version, not the scan
            // one: without ALLOW_SNAPSHOT_ISOLATION the scan shares the rule's lock instead, so
            // that no change of the rule is between its statements. The isolation level is set
            // on its own, never under IF nor inside the transaction; a pooled session hands on
            // the defaults.
            const std::u16string wait = LockTimeout(timeoutSeconds) + u"; ";
            if (snapshotAllowed) {
                const std::u16string reset =
                    u"; SET TRANSACTION ISOLATION LEVEL READ COMMITTED; " + LockTimeout(0);
                return {wait + u"SET TRANSACTION ISOLATION LEVEL SNAPSHOT; BEGIN TRANSACTION",
                        u"COMMIT TRANSACTION" + reset,
                        u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION" + reset};
            }
            return {wait + u"BEGIN TRANSACTION; " + AppLock(ruleLockKey, u"Shared", timeoutSeconds),
                    u"COMMIT TRANSACTION; " + LockTimeout(0),
                    u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; " + LockTimeout(0)};
        }
    }
    throw std::logic_error("ReadVersionStatements: unknown dialect");
}

TransactionStatements ChangeStatements(Dialect dialect, int timeoutSeconds) {
    switch (dialect) {
        case Dialect::Sqlite:
            return {u"BEGIN IMMEDIATE", u"COMMIT", u"ROLLBACK"};
        case Dialect::PostgreSql:
            return {u"BEGIN", u"COMMIT", u"ROLLBACK"};
        case Dialect::SqlServer:
            return {LockTimeout(timeoutSeconds) + u"; BEGIN TRANSACTION",
                    u"COMMIT TRANSACTION; " + LockTimeout(0),
                    u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; " + LockTimeout(0)};
    }
    throw std::logic_error("ChangeStatements: unknown dialect");
}

std::u16string ChangeLockStatement(Dialect dialect, std::u16string_view key, int timeoutSeconds) {
    switch (dialect) {
        case Dialect::Sqlite:
            return u"";
        case Dialect::PostgreSql:
            // Bounded by the statement's own timeout; readers never wait for advisory locks.
            return u"select pg_advisory_xact_lock(" + ToU16(kPostgresLockClass) + u"," +
                   ToU16(LockHash(key)) + u")";
        case Dialect::SqlServer:
            return AppLock(key, u"Exclusive", timeoutSeconds);
    }
    throw std::logic_error("ChangeLockStatement: unknown dialect");
}

}  // namespace quorvel
