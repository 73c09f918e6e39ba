// The rule tables for stores this project creates itself (the demo, the tests, `quorvel init`).
// The component never creates or alters tables in a host's database.
#pragma once

#include <string>
#include <vector>

#include "store/connection.h"
#include "store/dialect.h"

namespace quorvel {

std::vector<std::u16string> SchemaStatements(Dialect dialect);
std::vector<std::u16string> DemoStatements();  // plain statements, valid in every dialect

void CreateSchema(Connection& conn, Dialect dialect);
void InsertDemoData(Connection& conn);

// The rule tables (and the demo data when asked) in an existing database, in the dialect it
// speaks, all in one transaction. A database that has any of them already is refused before
// anything is sent that could change it.
void CreateRuleTables(Connection& conn, bool demo);

// Creates a new embedded store file with the rule tables (and the demo data when asked).
// Fails if the file exists already, so that no data is ever overwritten.
void CreateSqliteStore(const std::string& path, bool demo);

}  // namespace quorvel
