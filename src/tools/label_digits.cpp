#include "tools/label_digits.h"

#include <algorithm>

#include "store/text.h"

namespace quorvel::tools {

namespace {

bool AllDigits(std::u16string_view s) {
    return std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// The weighting factors' products, digit by digit: 2- is 2d with its tens taken from its units,
// 3 the units of 3d, 5+ 5d with its tens added to its units, 5- with them taken away.
constexpr int kTwoMinus[10] = {0, 2, 4, 6, 8, 9, 1, 3, 5, 7};
constexpr int kThree[10] = {0, 3, 6, 9, 2, 5, 8, 1, 4, 7};
constexpr int kFivePlus[10] = {0, 5, 1, 6, 2, 7, 3, 8, 4, 9};
constexpr int kFiveMinus[10] = {0, 5, 9, 4, 8, 3, 7, 2, 6, 1};

}  // namespace

CheckDigit TestCheckDigit(std::u16string_view barcode) {
    CheckDigit out;
    const size_t n = barcode.size();
    if ((n != 13 && n != 12 && n != 8) || !AllDigits(barcode)) return out;
    out.kind = n == 13 ? u"EAN-13" : n == 12 ? u"UPC-A" : u"EAN-8";
    // Weights 3 and 1 alternate leftwards from the digit before the check digit.
    int sum = 0;
    for (size_t i = 0; i + 1 < n; ++i) sum += (barcode[i] - u'0') * ((n - 1 - i) % 2 ? 3 : 1);
    out.expected = static_cast<char16_t>(u'0' + (10 - sum % 10) % 10);
    out.valid = barcode.back() == out.expected;
    return out;
}

int PriceVerifier(std::u16string_view digits) {
    if (!AllDigits(digits)) return -1;
    auto d = [&](size_t i) { return digits[i] - u'0'; };
    if (digits.size() == 4) {
        const int sum = kTwoMinus[d(0)] + kTwoMinus[d(1)] + kThree[d(2)] + kFiveMinus[d(3)];
        return sum * 3 % 10;
    }
    if (digits.size() == 5) {
        const int sum = kFivePlus[d(0)] + kTwoMinus[d(1)] + kFiveMinus[d(2)] + kFivePlus[d(3)] +
                        kTwoMinus[d(4)];
        const int r = (10 - sum % 10) % 10;
        return static_cast<int>(std::find(kFiveMinus, kFiveMinus + 10, r) - kFiveMinus);
    }
    return -1;
}

bool IsMeasure(std::u16string_view text) {
    std::u16string lower(text);
    for (auto& c : lower) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    for (const char16_t* word : {u"weight", u"measure", u"kg", u"gram", u"vikt", u"vægt", u"paino",
                                 u"gewicht", u"poids", u"重", u"量"}) {
        if (lower.find(word) != std::u16string::npos) return true;
    }
    return false;
}

std::vector<VerifierCheck> VerifierChecks(const StoredRule& rule, std::u16string_view barcode,
                                          const CategoryLookup& categories) {
    const int64_t code = rule.dnmid ? static_cast<int64_t>(rule.dnmid->size()) : 0;
    // Only levels that cut something where they say count as cut.
    auto cuts = [](const StoredLevel& l) {
        const int64_t s = l.startws.value_or(0), e = l.endws.value_or(0);
        return s >= 1 && e >= s && e <= INT16_MAX;
    };
    auto covered = [&](int64_t p) {
        return std::any_of(rule.levels.begin(), rule.levels.end(), [&](const StoredLevel& l) {
            return cuts(l) && *l.startws <= p && p <= *l.endws;
        });
    };
    std::vector<VerifierCheck> out;
    for (const auto& l : rule.levels) {
        if (!cuts(l)) continue;
        const int64_t s = *l.startws, width = *l.endws - s + 1, p = s - 1;
        if (width != 4 && width != 5) continue;
        // One position alone: a level or the in-store code right before it.
        if (p < 1 || covered(p) || (p > 1 ? !covered(p - 1) : code == 0)) continue;
        VerifierCheck v;
        v.level = &l;
        if (l.lbid) {
            v.measure = IsMeasure(*l.lbid);
            if (!v.measure && categories) {
                const auto c = categories(*l.lbid);
                v.measure = c && c->name && IsMeasure(*c->name);
            }
        }
        v.position = p;
        const auto at = static_cast<size_t>(p + code - 1);
        if (at < barcode.size()) v.found = barcode[at];
        if (at + 1 < barcode.size()) {
            v.digits = std::u16string(barcode.substr(at + 1, static_cast<size_t>(width)));
        }
        if (static_cast<int64_t>(v.digits.size()) == width) v.expected = PriceVerifier(v.digits);
        out.push_back(std::move(v));
    }
    return out;
}

std::u16string VerifierNote(const VerifierCheck& v) {
    const std::u16string where = u"position " + ToU16(v.position);
    const std::u16string kind = v.measure ? u"measure verifier" : u"price verifier";
    if (v.expected < 0 || v.found == 0) {
        return where + u" may hold a " + kind + u"; not tested: the barcode has no " +
               ToU16(*v.level->endws - *v.level->startws + 1) + u" digits there";
    }
    const std::u16string found(1, v.found);
    if (v.Valid()) return where + u" holds " + found + u", a valid " + kind + u" for " + v.digits;
    return where + u" holds " + found + u", not a valid " + kind + u" for " + v.digits +
           u" (it would be " + ToU16(static_cast<int64_t>(v.expected)) +
           u"); a till cuts the value all the same";
}

}  // namespace quorvel::tools
