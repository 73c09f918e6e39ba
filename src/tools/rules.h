// Rules as the store holds them, column for column (Null kept), and the check that finds the
// rules a till can never cut correctly, each problem said the way the till would meet it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/analyser.h"
#include "store/connection.h"

namespace quorvel::tools {

using Text = std::optional<std::u16string>;  // nullopt: Null
using Number = std::optional<int64_t>;

// Number columns that hold neither Null nor a whole number (typed into the tables by hand: a
// text, a fraction): the column and the value as text. Their Number is then nullopt.
using OddValues = std::vector<std::pair<std::u16string, std::u16string>>;

struct StoredLevel {
    Number js;
    Text lbid;
    Number startws, endws, xsws;
    Text bz;
    OddValues odd;
    // As a till reads the level: the analyser's 16-bit values, from the analyser's own
    // expressions (Null as 0). When `till.read` is false a till cannot use them, and
    // `unreadable` says which value and why.
    SegmentLevel till;
    std::u16string unreadable;
    // Whether a till asking for this level's category gets this row: not when the category is
    // Null or holds a comma (no category list can name it), nor when the store returns another
    // level of the same category first. `twins`: the other levels (by index) whose category the
    // store takes for this one's.
    bool tillUses = true;
    std::vector<size_t> twins;
};

struct StoredRule {
    std::u16string gzid;
    Text gzname, dnmid;
    Number txmzws;
    std::vector<StoredLevel> levels;  // in level number order
    OddValues odd;
    int64_t headers =
        1;  // header rows of the id, as the store compares: a keyless table may hold two
};

// Fills `till` and `unreadable` from the values the analyser's expressions deliver.
// `bz` is the level's remark, where a GS1 level keeps its AI.
void ReadAsTill(StoredLevel& level, const FieldValue& startws, const FieldValue& endws,
                const FieldValue& xsws, const Text& dnmid, const Text& bz = std::nullopt);

// Asks the store, with the analyser's own query, which level a till gets for each category of
// the rule (ids compared by the store itself, the row matched to the level that reads as it
// does): sets `tillUses` and `twins`. LoadRules does this for the rules whose categories repeat;
// `quorvel explain` for its rule.
void AskTill(Connection& conn, StoredRule& rule);

struct Category {
    std::u16string id;
    Text name;
};

// The rules with these ids (all rules, in id order, when there are none); ids that name no rule
// are added to `missing`, and ids the store takes for the same rule give it once. Values a till
// cannot use are kept for the check to report. Throws DbError when the store cannot be read.
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
    bool breaks;           // false only where tills are not affected (the stored total, a
                           // fraction a till rounds)
    std::u16string where;  // e.g. "level 2 (B)"; empty for the rule as a whole
    std::u16string problem;
};

// "RULE: where: problem", the line `quorvel check` prints.
std::u16string Line(const Finding& f);

std::vector<Finding> CheckRule(const StoredRule& rule, const CategoryLookup& categories);

// How a value of the store is quoted in a message: at most 40 characters of it.
std::u16string Shown(const std::u16string& value);

}  // namespace quorvel::tools
