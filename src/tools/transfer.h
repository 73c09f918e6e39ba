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

struct ImportReport {
    bool imported = false;
    std::vector<std::u16string> refusals;  // conflicts and broken rules: nothing was changed
    std::vector<std::u16string> done;      // what was written, when it was imported
};

// Writes every rule and category of the set in one transaction, or nothing: it refuses the
// whole set when a rule id exists (unless `replace`, which replaces those rules whole), when a
// category exists under another name (unless `replace`), or when the check finds a rule broken.
// Throws DbError when the store fails, after rolling back.
ImportReport ImportRules(Connection& conn, const RuleSet& set, bool replace);

}  // namespace quorvel::tools
