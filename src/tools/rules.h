// Rules as the store holds them, column for column (Null kept), and the check that finds the
// rules a till can never cut correctly, each problem said the way the till would meet it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/connection.h"

namespace quorvel::tools {

using Text = std::optional<std::u16string>;  // nullopt: Null
using Number = std::optional<int64_t>;

struct StoredLevel {
    Number js;
    Text lbid;
    Number startws, endws, xsws;
    Text bz;
};

struct StoredRule {
    std::u16string gzid;
    Text gzname, dnmid;
    Number txmzws;
    std::vector<StoredLevel> levels;  // in level number order
    int headers = 1;                  // header rows of the id: a table without a key may hold two
};

struct Category {
    std::u16string id;
    Text name;
};

// The rules with these ids (all rules, in id order, when there are none); ids that name no rule
// are added to `missing`. Throws DbError when the store cannot be read.
std::vector<StoredRule> LoadRules(Connection& conn, const std::vector<std::u16string>& ids,
                                  std::vector<std::u16string>& missing);

// The segment category (glsx, fid 1006) with this id, as the store compares ids.
std::optional<Category> FindCategory(Connection& conn, const std::u16string& id);

// How a category id is found: the store, or a file's categories before the store.
using CategoryLookup = std::function<std::optional<Category>(const std::u16string& id)>;

// FindCategory on the store, asking once per id.
CategoryLookup StoreCategories(Connection& conn);

struct Finding {
    std::u16string rule;
    Number level;          // the level number the problem is at, if it is at one
    std::string code;      // a stable name for machines, e.g. "end-before-start"
    bool breaks;           // false only where tills are not affected (the stored total)
    std::u16string where;  // e.g. "level 2 (B)"; empty for the rule as a whole
    std::u16string problem;
};

// "RULE: where: problem", the line `quorvel check` prints.
std::u16string Line(const Finding& f);

std::vector<Finding> CheckRule(const StoredRule& rule, const CategoryLookup& categories);

// Ids compare as the rule tables compare them: without regard to case.
bool SameId(const std::u16string& a, const std::u16string& b);

}  // namespace quorvel::tools
