// The digits a label carries against misreads: the code's own check digit, and the verifier
// digit that variable-measure layouts put in front of a price or weight of 4 or 5 digits. The
// command's explanation and the editor's test window both say what these find.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rules.h"

namespace quorvel::tools {

struct CheckDigit {
    const char16_t* kind = nullptr;  // u"EAN-13", u"UPC-A" or u"EAN-8"; nullptr: not tested
    bool valid = false;
    char16_t expected = 0;
};

// The last digit of a code of 13, 12 or 8 digits against its EAN-13, UPC-A or EAN-8 check
// digit; other codes are not tested.
CheckDigit TestCheckDigit(std::u16string_view barcode);

// The price verifier digit of 4 or 5 digits (weighting factors 2-, 3, 5+ and 5-); -1 for any
// other text.
int PriceVerifier(std::u16string_view digits);

// A position that a rule leaves uncut right before a level of 4 or 5 digits: where layouts
// carry the level's verifier digit. Only a finding: the cut of the level never depends on it.
struct VerifierCheck {
    const StoredLevel* level = nullptr;
    int64_t position = 0;   // the uncut position, counted as the level's positions are
    std::u16string digits;  // the level's characters in the barcode
    char16_t found = 0;     // the barcode's character at the position; 0 beyond its end
    int expected = -1;      // the verifier of `digits`; -1 when the barcode does not have them
    bool measure = false;   // the level is a weight or another measure: a measure verifier
    bool Valid() const { return expected >= 0 && found == u'0' + expected; }
};

// `categories`, when given, lets a category's name tell a weight from a price as its id does.
std::vector<VerifierCheck> VerifierChecks(const StoredRule& rule, std::u16string_view barcode,
                                          const CategoryLookup& categories = {});

// Whether a category's id or name says it holds a weight or another measure (kg, 重量, vikt...).
bool IsMeasure(std::u16string_view idOrName);

// What the command prints for one such position.
std::u16string VerifierNote(const VerifierCheck& v);

}  // namespace quorvel::tools
