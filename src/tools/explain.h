// Why a barcode parses as it does: each level of the rule with the characters it cuts and the
// value a till gets, computed by the analyser's own cut.
#pragma once

#include <string>
#include <vector>

#include "tools/rules.h"

namespace quorvel::tools {

struct ExplainRow {
    std::u16string level, category, positions, characters, cut, value, note;
};

struct Explanation {
    std::vector<std::u16string> head;  // the rule, the barcode, and notes on the whole rule
    std::vector<ExplainRow> rows;      // the levels in order
    std::u16string checkDigit;
};

Explanation Explain(const StoredRule& rule, const CategoryLookup& categories,
                    const std::u16string& barcode);

// Whether the last digit is a valid EAN-13, UPC-A or EAN-8 check digit, for codes of 13, 12
// or 8 digits.
std::u16string CheckDigitNote(const std::u16string& barcode);

// The explanation as the command prints it: head lines, an aligned table, the check digit.
std::u16string Format(const Explanation& e);

}  // namespace quorvel::tools
