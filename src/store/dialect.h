// The component's statements are written for SQL Server. Other databases get them rewritten,
// outside string literals only, into their own dialect.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

enum class Dialect { SqlServer, Sqlite, PostgreSql };

std::u16string AdaptSql(std::u16string_view sql, Dialect dialect);

// The one way a text value enters a statement: between single quotes, any quote inside doubled,
// so that a value can neither end the literal early nor change the statement.
std::u16string SqlQuote(std::u16string_view value);

}  // namespace quorvel
