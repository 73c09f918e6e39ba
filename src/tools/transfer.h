// Rules moved between stores as JSON: rules with their levels and the segment categories they
// use, column for column, so that a copy holds exactly the rows of the original.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"
#include "tools/rules.h"

namespace quorvel::tools {

// A file that is not a rules file: its JSON is malformed or truncated, or a value is missing
// or of the wrong kind. The message says where.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RuleSet {
    // Lines saying where the rules come from (a published layout's source); a store has none.
    std::vector<std::string> description;
    std::vector<Category> categories;
    std::vector<StoredRule> rules;
};

// The rules with these ids (all when there are none) and their categories. Throws DbError,
// also when an id names no rule.
RuleSet ExportRules(Connection& conn, const std::vector<std::u16string>& ids);
std::string ToJson(const RuleSet& set);
RuleSet FromJson(std::string_view json);  // throws FileError

// The check's findings for machines: {"findings": [{"rule", "level", "code", "breaks",
// "where", "problem"}]}.
std::string ToJson(const std::vector<Finding>& findings);

struct ImportOptions {
    bool replace = false;  // rules that exist are replaced whole
    bool rename = false;   // categories the store names otherwise take the file's name
    bool dryRun = false;   // everything is written and checked, then rolled back
};

// One thing an import did (or, in a dry run, would do).
struct ImportEntry {
    bool category = false;  // a segment category, else a rule
    std::u16string id;
    std::string action;  // "added", "renamed" (categories); "imported", "replaced" (rules)
    int64_t levels = 0;
};

struct ImportReport {
    bool imported = false;                 // also after a dry run that would have imported
    std::vector<std::u16string> refusals;  // conflicts and broken rules: nothing was changed
    std::vector<std::u16string> done;      // what was written, when it was imported
    std::vector<ImportEntry> entries;      // the same, for machines
};

// Writes every rule and category of the set in one transaction, or nothing: it refuses the
// whole set when a rule id exists (unless `replace`, which replaces those rules whole), when a
// category exists under another name (unless `rename`), or when the check finds a rule broken.
// Throws DbError when the store fails, after rolling back.
ImportReport ImportRules(Connection& conn, const RuleSet& set, const ImportOptions& options);
// As before the choices were apart: `replace` replaces rules and renames categories.
ImportReport ImportRules(Connection& conn, const RuleSet& set, bool replace);

}  // namespace quorvel::tools
