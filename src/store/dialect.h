// The component's statements are written for SQL Server. Other databases get them rewritten,
// outside string literals only, into their own dialect.
//
// Adding a dialect: add it to the enum below and build; the compiler then stops at every switch
// that must learn it. Those are AdaptSql (dialect.cpp: the rewriting), SchemaStatements
// (schema.cpp: the tables `quorvel init` creates), and in odbc_backend.cpp DialectOf (how the
// driver's DBMS name is recognised) and TextIsNarrow (drivers that take UTF-8 rather than wide
// text). The embedded store is always Sqlite (sqlite_backend.cpp).
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
