// Statements rewritten for each dialect: whatever the words around them, the text literals come
// out unchanged and in their order (only an N prefix may come or go).
#include "fuzz_support.h"
#include "store/dialect.h"

using namespace quorvel;
using namespace quorvel::fuzz;

namespace {

// The bodies of the text literals, in order, with doubled quotes read as one. Only for text
// whose quotes all belong to literals, as the statements built below are.
std::vector<std::u16string> Literals(std::u16string_view sql) {
    std::vector<std::u16string> out;
    for (size_t i = sql.find(u'\''); i != std::u16string_view::npos; i = sql.find(u'\'', i)) {
        std::u16string body;
        for (++i;; ++i) {
            Require(i < sql.size());  // every literal built is closed
            if (sql[i] == u'\'') {
                if (i + 1 < sql.size() && sql[i + 1] == u'\'') {
                    body += u'\'';
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            body += sql[i];
        }
        out.push_back(std::move(body));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pieces split at 0xFF (never part of UTF-8) alternate: words around literals, then a
    // literal's body. A body starting with 0xFE (never UTF-8 either) is a national N'...' one.
    std::string_view in = Bytes(data, size);
    std::u16string sql;
    std::vector<std::u16string> literals;
    bool word = true;
    for (size_t start = 0; start <= in.size(); word = !word) {
        size_t end = std::min(in.find('\xff', start), in.size());
        std::string_view piece = in.substr(start, end - start);
        start = end + 1;
        if (word) {
            // No quote of any kind, so that a literal is never read as part of a name.
            for (char16_t c : FromUtf8(piece)) {
                if (c != u'\'' && c != u'"' && c != u'[' && c != u']') sql += c;
            }
            continue;
        }
        if (!sql.empty() && sql.back() == u'\'') sql += u' ';  // two literals side by side are one
        if (!piece.empty() && piece.front() == '\xfe') {
            sql += u'N';
            piece.remove_prefix(1);
        }
        std::u16string body = FromUtf8(piece);
        sql += SqlQuote(body);
        literals.push_back(std::move(body));
    }
    Require(Literals(sql) == literals);
    for (Dialect d : {Dialect::SqlServer, Dialect::Sqlite, Dialect::PostgreSql}) {
        Require(Literals(AdaptSql(sql, d)) == literals);
    }
    return 0;
}
