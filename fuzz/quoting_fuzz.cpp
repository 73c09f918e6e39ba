// Every way a value is quoted into a text another program reads back: a statement's literal (read
// back by SQLite itself), an ODBC connection string's value, and a store path in the embedded
// provider's connection string. Each reading gives the value back exactly.
#include "fuzz_support.h"
#include "store/connection.h"
#include "store/connstring.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/odbc_connstring.h"

using namespace quorvel;
using namespace quorvel::fuzz;

namespace {

std::optional<std::u16string> Unquote(std::u16string_view q) {
    if (q.size() < 2 || q.front() != u'\'' || q.back() != u'\'') return std::nullopt;
    std::u16string out;
    for (size_t i = 1; i + 1 < q.size(); ++i) {
        if (q[i] == u'\'') {
            if (q[i + 1] != u'\'' || i + 2 == q.size()) return std::nullopt;  // a lone quote
            ++i;
        }
        out += q[i];
    }
    return out;
}

Connection& Memory() {
    static Connection* conn = [] {
        auto* c = new Connection;
        c->Open(EmbeddedConnString(":memory:"));
        return c;
    }();
    return *conn;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = Bytes(data, size);
    const std::u16string value = FromUtf8(bytes);

    Require(Unquote(SqlQuote(value)) == value);
    // A NUL is refused before any statement runs; text that is not well-formed UTF-16 cannot
    // reach the database unchanged whatever the quoting, and SQLite reads the noncharacters
    // U+FFFE and U+FFFF as U+FFFD.
    if (value.find_first_of(u"\0\uFFFE\uFFFF", 0, 3) == std::u16string::npos &&
        FromUtf8(ToUtf8(value)) == value) {
        auto result = Memory().Query(u"select " + SqlQuote(value) + u" as v");
        Require(result->rows.size() == 1 && result->rows[0].size() == 1);
        Require(result->rows[0][0].ToText() == value);
    }

    auto pairs = ReadOdbc(u"PWD=" + OdbcValue(value) + u";UID=u");
    Require(pairs && pairs->size() == 2 && (*pairs)[0].second == value);

    try {
        const ConnString cs = ConnString::Parse(EmbeddedConnString(bytes));
        Require(IsUtf8(bytes) && bytes.find('\0') == std::string_view::npos);
        Require(cs.Pairs().size() == 2 && cs.Get(u"Data Source") == value);
    } catch (const DbError&) {
        Require(!IsUtf8(bytes) || bytes.find('\0') != std::string_view::npos);
    }
    return 0;
}
