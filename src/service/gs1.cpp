#include "service/gs1.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "store/text.h"

namespace quorvel::gs1 {

namespace {

constexpr uint8_t P = kPredefined, D = kDate, Z = kDayZero, F = kDecimals, C = kCurrency;

constexpr AiInfo kTable[] = {
#define GS1_AI(ai, lo, hi, cs, dg, ca, cl, fl, nx, title) \
    {ai, lo, hi, cs, dg, ca, cl, static_cast<uint8_t>(fl), nx, title},
#include "service/gs1_ai_table.inc"
#undef GS1_AI
};

// Rows by AI: 2-digit AIs at 0-99, 3-digit at 100-1099, 4-digit at 1100-11099; 0 is none.
constexpr size_t Key(int len, int num) {
    return len == 2   ? static_cast<size_t>(num)
           : len == 3 ? 100 + static_cast<size_t>(num)
                      : 1100 + static_cast<size_t>(num);
}

// Built while compiling: the analyser looks AIs up on every scan.
constexpr std::array<uint8_t, 11100> kIndex = [] {
    std::array<uint8_t, 11100> row{};
    static_assert(std::size(kTable) < 255);
    for (size_t r = 0; r < std::size(kTable); ++r) {
        const AiInfo& a = kTable[r];
        int num = 0, len = 0;
        for (; a.ai[len]; ++len) num = num * 10 + (a.ai[len] - '0');
        if (a.flags & kDecimals) {
            for (int n = 0; n <= a.maxDecimals; ++n) {
                row[Key(4, num * 10 + n)] = static_cast<uint8_t>(r + 1);
            }
        } else {
            row[Key(len, num)] = static_cast<uint8_t>(r + 1);
        }
    }
    return row;
}();

inline const AiInfo* Lookup(int len, int num) {
    const uint8_t r = kIndex[Key(len, num)];
    return r ? &kTable[r - 1] : nullptr;
}

// The AI's length by its first two digits (the General Specifications' table of AI prefixes).
constexpr std::array<uint8_t, 100> kLengths = [] {
    std::array<uint8_t, 100> l{};
    for (int p : {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 30, 37})
        l[p] = 2;
    for (int p = 90; p <= 99; ++p) l[p] = 2;
    for (int p : {23, 24, 25, 40, 41, 42, 71}) l[p] = 3;
    for (int p : {31, 32, 33, 34, 35, 36, 39, 43, 70, 72, 80, 81, 82}) l[p] = 4;
    return l;
}();

// The characters each set allows (section 7.11, figures 7.11-1 to 7.11-3).
struct Sets {
    bool x[128] = {}, y[128] = {}, z[128] = {};
};
constexpr Sets kSets = [] {
    Sets s;
    const std::string_view x82 = "!\"%&'()*+,-./:;<=>?_", y39 = "#-/";
    for (int c = 0; c < 128; ++c) {
        const bool digit = c >= '0' && c <= '9', upper = c >= 'A' && c <= 'Z';
        const bool alnum = digit || upper || (c >= 'a' && c <= 'z');
        const auto ch = static_cast<char>(c);
        s.x[c] = alnum || x82.find(ch) != std::string_view::npos;
        s.y[c] = digit || upper || y39.find(ch) != std::string_view::npos;
        s.z[c] = alnum || c == '-' || c == '_';
    }
    return s;
}();

template <typename Ch>
bool IsDigit(Ch c) {
    return c >= '0' && c <= '9';
}

template <typename Ch>
bool Digits(const Ch* p, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        if (!IsDigit(p[k])) return false;
    }
    return true;
}

// The mod-10 check digit of GTINs, SSCCs and GLNs over all but the last digit.
template <typename Ch>
int CheckDigitOf(const Ch* p, size_t n) {
    int sum = 0;
    for (size_t k = 0; k + 1 < n; ++k) sum += (p[k] - '0') * (((n - 1 - k) % 2) ? 3 : 1);
    return (10 - sum % 10) % 10;
}

int DaysIn(int yy, int mm) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mm == 2 && yy % 4 == 0) return 29;  // years 2000 to 2099: every fourth is a leap year
    return kDays[mm - 1];
}

template <typename Ch>
int Two(const Ch* p) {
    return (p[0] - '0') * 10 + (p[1] - '0');
}

template <typename Ch>
bool StartsNoCase(std::basic_string_view<Ch> s, size_t i, const char* word) {
    size_t n = std::strlen(word);
    if (s.size() - i < n) return false;
    for (size_t k = 0; k < n; ++k) {
        Ch c = s[i + k];
        if (c >= 'A' && c <= 'Z') c = static_cast<Ch>(c + 32);
        if (c != word[k]) return false;
    }
    return true;
}

template <typename Ch>
int AiNumber(const Ch* p, size_t n) {
    int v = 0;
    for (size_t k = 0; k < n; ++k) v = v * 10 + (p[k] - '0');
    return v;
}

// The keys that may open a Digital Link path (the Digital Link standard's primary keys).
bool IsLinkKey(int len, int num) {
    if (len == 2) return num == 0 || num == 1;
    if (len == 3)
        return num == 253 || num == 255 || num == 401 || num == 402 || num == 414 || num == 417;
    return num == 8003 || num == 8004 || num == 8006 || num == 8010 || num == 8013 || num == 8017 ||
           num == 8018;
}

constexpr size_t kMaxFindings = 64;

}  // namespace

std::span<const AiInfo> AllAis() {
    return kTable;
}

int AiLength(int first, int second) {
    if (first < 0 || first > 9 || second < 0 || second > 9) return 0;
    return kLengths[static_cast<size_t>(first * 10 + second)];
}

const AiInfo* FindAi(std::string_view ai) {
    if (ai.size() < 2 || ai.size() > 4 || !Digits(ai.data(), ai.size())) return nullptr;
    if (AiLength(ai[0] - '0', ai[1] - '0') != static_cast<int>(ai.size())) return nullptr;
    return Lookup(static_cast<int>(ai.size()), AiNumber(ai.data(), ai.size()));
}

bool ReadMarker(std::u16string_view bz, LevelSpec& level) {
    if (bz.size() < 6 || bz.substr(0, 4) != u"GS1:") return false;
    size_t k = 4;
    while (k < bz.size() && IsDigit(bz[k])) ++k;
    const size_t len = k - 4;
    if (len < 2 || len > 4) return false;
    if (AiLength(bz[4] - '0', bz[5] - '0') != static_cast<int>(len)) return false;
    level = LevelSpec{};
    level.ai.ai = static_cast<uint16_t>(AiNumber(bz.data() + 4, len));
    level.ai.len = static_cast<uint8_t>(len);
    const AiInfo* info = Lookup(static_cast<int>(len), level.ai.ai);
    level.ai.family = info && (info->flags & kDecimals);
    if (k == bz.size()) return true;
    const size_t sub = bz.size() - k - 1;
    if (bz[k] != u':' || sub == 0 || sub > 4) return false;
    for (size_t i = 0; i < sub; ++i) level.substitute[i] = bz[k + 1 + i];
    level.substituteLen = static_cast<uint8_t>(sub);
    return true;
}

std::u16string Marker(std::u16string_view ai, std::u16string_view substitute) {
    std::u16string m = u"GS1:";
    m += ai;
    if (!substitute.empty()) {
        m += u':';
        m += substitute;
    }
    return m;
}

std::u16string AiText(const LevelAi& ai) {
    std::u16string s = ToU16(ai.ai);
    while (s.size() < ai.len) s.insert(s.begin(), u'0');
    return s;
}

std::u16string Title(const AiInfo& info) {
    return FromUtf8(info.title);
}

template <typename Ch>
void Label<Ch>::Note(Issue issue, size_t field) {
    if (findings.size() < kMaxFindings) {
        findings.push_back({issue, field < kNoField ? static_cast<uint16_t>(field) : kNoField});
    }
}

template <typename Ch>
void Label<Ch>::Add(uint16_t ai, uint8_t aiLen, const Ch* data, size_t len, bool lengthChecked) {
    const AiInfo* info = aiLen ? Lookup(aiLen, ai) : nullptr;
    const size_t at = fields.size();
    fields.push_back({ai, aiLen, info, data, static_cast<uint32_t>(len)});
    if (!info) {
        Note(Issue::kUnknownAi, at);
        return;
    }
    if (!lengthChecked) {
        if (len > info->maxLen) {
            Note(Issue::kTooLong, at);
        } else if (len < info->minLen) {
            Note(info->minLen == info->maxLen ? Issue::kTruncated : Issue::kTooShort, at);
        }
    }
    const size_t digits = std::min<size_t>(info->digits, len);
    bool charsetOk = Digits(data, digits);
    const bool* set = info->charset == 'X'   ? kSets.x
                      : info->charset == 'Y' ? kSets.y
                      : info->charset == 'Z' ? kSets.z
                                             : nullptr;
    for (size_t k = digits; charsetOk && k < len; ++k) {
        const auto c = static_cast<uint32_t>(data[k]);
        charsetOk = set ? c < 128 && set[c] : IsDigit(data[k]);
    }
    if (!charsetOk) Note(Issue::kCharset, at);
    if (info->checkLen && len >= size_t{info->checkAt} + info->checkLen &&
        Digits(data + info->checkAt, info->checkLen)) {
        const Ch* p = data + info->checkAt;
        if (p[info->checkLen - 1] - '0' != CheckDigitOf(p, info->checkLen)) {
            Note(Issue::kCheckDigit, at);
        }
    }
    if ((info->flags & kDate) && len >= 6 && Digits(data, 6)) {
        const int yy = Two(data), mm = Two(data + 2), dd = Two(data + 4);
        const bool ok =
            mm >= 1 && mm <= 12 &&
            ((dd == 0 && (info->flags & kDayZero)) || (dd >= 1 && dd <= DaysIn(yy, mm)));
        if (!ok) Note(Issue::kDate, at);
    }
}

template <typename Ch>
void Label<Ch>::Parse(std::basic_string_view<Ch> s, std::u16string_view substitute) {
    fields.clear();
    findings.clear();
    form = Form::kRaw;
    symbology[0] = symbology[1] = 0;
    sub_ = substitute;
    size_t i = 0;
    auto sepAt = [&](size_t k) -> size_t {
        if (s[k] == 0x1D) return 1;
        if (sub_.empty() || s.size() - k < sub_.size() || s[k] != static_cast<Ch>(sub_[0]))
            return 0;
        for (size_t j = 1; j < sub_.size(); ++j) {
            if (s[k + j] != static_cast<Ch>(sub_[j])) return 0;
        }
        return sub_.size();
    };
    // Camera decoders send FNC1 in first position as a GS, some scanners before the identifier.
    while (i < s.size()) {
        size_t n = sepAt(i);
        if (!n) break;
        i += n;
    }
    if (s.size() - i >= 3 && s[i] == ']') {
        symbology[0] = s[i + 1];
        symbology[1] = s[i + 2];
        i += 3;
        while (i < s.size()) {
            size_t n = sepAt(i);
            if (!n) break;
            i += n;
        }
    }
    if (symbology[0] == 'E' && (symbology[1] == '0' || symbology[1] == '4')) {
        // EAN-13 and UPC-A (]E0, 13 digits) and EAN-8 (]E4) carry a GTIN as AI 01 does.
        const size_t want = symbology[1] == '0' ? 13 : 8;
        form = Form::kEan;
        if (s.size() - i == want && Digits(s.data() + i, want)) {
            buf_.assign(14 - want, Ch('0'));
            buf_.append(s.data() + i, want);
            Add(1, 2, buf_.data(), 14, false);
        } else {
            Note(Issue::kNotElementString, kNoField);
        }
        return;
    }
    if (StartsNoCase(s, i, "https://") || StartsNoCase(s, i, "http://")) {
        form = Form::kDigitalLink;
        Link(s, i);
    } else if (i < s.size() && s[i] == '(') {
        form = Form::kBracketed;
        Bracketed(s, i);
    } else {
        Raw(s, i);
    }
}

template <typename Ch>
void Label<Ch>::Raw(std::basic_string_view<Ch> s, size_t i) {
    const size_t n = s.size();
    auto sepAt = [&](size_t k) -> size_t {
        if (s[k] == 0x1D) return 1;
        if (sub_.empty() || n - k < sub_.size() || s[k] != static_cast<Ch>(sub_[0])) return 0;
        for (size_t j = 1; j < sub_.size(); ++j) {
            if (s[k + j] != static_cast<Ch>(sub_[j])) return 0;
        }
        return sub_.size();
    };
    auto toSep = [&](size_t k) {
        while (k < n && !sepAt(k)) ++k;
        return k;
    };
    bool afterSep = false;
    while (i < n) {
        if (size_t g = sepAt(i)) {
            if (afterSep) Note(Issue::kMisplacedSeparator, kNoField);
            afterSep = true;
            i += g;
            continue;
        }
        afterSep = false;
        const int al = n - i >= 2 && IsDigit(s[i]) && IsDigit(s[i + 1])
                           ? AiLength(s[i] - '0', s[i + 1] - '0')
                           : 0;
        if (al == 0 || n - i < static_cast<size_t>(al) ||
            !Digits(s.data() + i, static_cast<size_t>(al))) {
            // No AI here: the rest up to a separator is skipped, no level can name it.
            const Issue issue = al == 0
                                    ? (fields.empty() && !IsDigit(s[i]) ? Issue::kNotElementString
                                                                        : Issue::kUnknownAi)
                                : n - i < static_cast<size_t>(al) ? Issue::kTruncated
                                                                  : Issue::kUnknownAi;
            Note(issue, kNoField);
            i = toSep(i);
            continue;
        }
        const auto ai = static_cast<uint16_t>(AiNumber(s.data() + i, static_cast<size_t>(al)));
        const AiInfo* info = Lookup(al, ai);
        const size_t from = i + static_cast<size_t>(al);
        if (!info) {
            size_t end = toSep(from);
            Add(ai, static_cast<uint8_t>(al), s.data() + from, end - from, true);
            i = end;
            continue;
        }
        size_t k = from;
        const size_t most = std::min<size_t>(info->maxLen, n - from);
        while (k - from < most && !sepAt(k)) ++k;
        const size_t len = k - from;
        const size_t at = fields.size();
        Add(ai, static_cast<uint8_t>(al), s.data() + from, len, true);
        if (info->minLen == info->maxLen) {
            if (len < info->maxLen)
                Note(k < n ? Issue::kMisplacedSeparator : Issue::kTruncated, at);
            else if (k < n && !sepAt(k) && !(info->flags & kPredefined))
                Note(Issue::kMissingSeparator, at);
        } else {
            if (len == info->maxLen && k < n && !sepAt(k))
                Note(Issue::kTooLong, at);
            else if (len < info->minLen)
                Note(Issue::kTooShort, at);
        }
        i = k;
        afterSep = false;
        if (i < n) {
            if (size_t g = sepAt(i)) {
                i += g;
                afterSep = true;
            }
        }
    }
}

template <typename Ch>
void Label<Ch>::Bracketed(std::basic_string_view<Ch> s, size_t i) {
    const size_t n = s.size();
    // "(" and a known AI's digits and ")": where a field begins (data may hold brackets).
    auto aiAt = [&](size_t k, int& len) -> bool {
        if (k >= n || s[k] != '(' || n - k < 4 || !IsDigit(s[k + 1]) || !IsDigit(s[k + 2]))
            return false;
        len = AiLength(s[k + 1] - '0', s[k + 2] - '0');
        return len && n - k >= static_cast<size_t>(len) + 2 && s[k + 1 + len] == ')' &&
               Digits(s.data() + k + 1, static_cast<size_t>(len));
    };
    while (i < n) {
        int al = 0;
        if (!aiAt(i, al)) {
            // Text that opens no AI: skipped to the next bracket.
            Note(fields.empty() ? Issue::kNotElementString : Issue::kUnknownAi, kNoField);
            ++i;
            while (i < n && s[i] != '(') ++i;
            continue;
        }
        const auto ai = static_cast<uint16_t>(AiNumber(s.data() + i + 1, static_cast<size_t>(al)));
        const size_t from = i + static_cast<size_t>(al) + 2;
        size_t k = from;
        int next = 0;
        while (k < n && !(s[k] == '(' && aiAt(k, next) &&
                          Lookup(next, AiNumber(s.data() + k + 1, static_cast<size_t>(next))))) {
            ++k;
        }
        Add(ai, static_cast<uint8_t>(al), s.data() + from, k - from, false);
        i = k;
    }
}

template <typename Ch>
void Label<Ch>::Link(std::basic_string_view<Ch> s, size_t i) {
    const size_t n = s.size();
    while (i < n && s[i] != ':') ++i;
    i += 3;                                                          // "://"
    while (i < n && s[i] != '/' && s[i] != '?' && s[i] != '#') ++i;  // the host, any
    size_t pathEnd = i;
    while (pathEnd < n && s[pathEnd] != '?' && s[pathEnd] != '#') ++pathEnd;
    size_t queryEnd = pathEnd;
    while (queryEnd < n && s[queryEnd] != '#') ++queryEnd;
    // Percent-decoded values go to buf_, so fields may point into it: it must never reallocate.
    // A value decodes to at most its own length, and a GTIN of 8 or more digits padded to 14 adds
    // at most 14 more: three times the URI bounds it.
    buf_.clear();
    buf_.reserve(3 * n + 16);
    auto decode = [&](size_t a, size_t b) -> std::pair<const Ch*, size_t> {
        const size_t start = buf_.size();
        for (size_t k = a; k < b; ++k) {
            auto hex = [](Ch c) -> int {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
            };
            if (s[k] == '%' && k + 2 < b && hex(s[k + 1]) >= 0 && hex(s[k + 2]) >= 0) {
                buf_.push_back(static_cast<Ch>(hex(s[k + 1]) * 16 + hex(s[k + 2])));
                k += 2;
            } else {
                buf_.push_back(s[k]);
            }
        }
        return {buf_.data() + start, buf_.size() - start};
    };
    auto numericAi = [&](size_t a, size_t b, int& num) {
        const size_t len = b - a;
        if (len < 2 || len > 4 || !Digits(s.data() + a, len) ||
            AiLength(s[a] - '0', s[a + 1] - '0') != static_cast<int>(len))
            return false;
        num = AiNumber(s.data() + a, len);
        return true;
    };
    // Path segments; the key and its qualifiers are the pairs at the end of the path, after
    // whatever path prefix the host uses.
    std::vector<std::pair<size_t, size_t>> seg;
    for (size_t k = i; k < pathEnd;) {
        size_t e = k + 1;
        while (e < pathEnd && s[e] != '/') ++e;
        if (e > k + 1) seg.emplace_back(k + 1, e);
        k = e;
    }
    size_t start = seg.size();
    for (size_t a = 0; a < seg.size(); ++a) {
        if ((seg.size() - a) % 2) continue;
        int num = 0;
        if (!numericAi(seg[a].first, seg[a].second, num) ||
            !IsLinkKey(static_cast<int>(seg[a].second - seg[a].first), num))
            continue;
        bool pairs = true;
        for (size_t b = a; pairs && b < seg.size(); b += 2)
            pairs = numericAi(seg[b].first, seg[b].second, num);
        if (pairs) {
            start = a;
            break;
        }
    }
    if (start == seg.size()) Note(Issue::kNoKey, kNoField);
    auto add = [&](size_t a, size_t b, const std::pair<const Ch*, size_t>& v) {
        const int num = AiNumber(s.data() + a, b - a);
        const auto len = static_cast<uint8_t>(b - a);
        if (len == 2 && num == 1 && (v.second == 8 || v.second == 12 || v.second == 13) &&
            Digits(v.first, v.second)) {
            // A GTIN-8, -12 or -13 in a URI stands for its 14-digit form.
            const size_t at = buf_.size();
            buf_.append(14 - v.second, Ch('0'));
            buf_.append(v.first, v.second);
            Add(1, 2, buf_.data() + at, 14, false);
            return;
        }
        Add(static_cast<uint16_t>(num), len, v.first, v.second, false);
    };
    for (size_t a = start; a + 1 < seg.size(); a += 2) {
        add(seg[a].first, seg[a].second, decode(seg[a + 1].first, seg[a + 1].second));
    }
    for (size_t k = pathEnd + 1; k < queryEnd;) {
        size_t e = k;
        while (e < queryEnd && s[e] != '&') ++e;
        size_t eq = k;
        while (eq < e && s[eq] != '=') ++eq;
        int num = 0;
        // Other attributes (linkType and the like) are no element strings.
        if (eq < e && numericAi(k, eq, num)) add(k, eq, decode(eq + 1, e));
        k = e + 1;
    }
}

// A field's value as a till gets it: the data without an ISO currency code, and the places
// after the decimal point the AI's last digit gives (0: no point).
template <typename Ch>
struct ValueParts {
    const Ch* data;
    size_t len;
    size_t places;
};

template <typename Ch>
ValueParts<Ch> PartsOf(const Field<Ch>& f) {
    ValueParts<Ch> v{f.data, f.len, 0};
    if (f.info && (f.info->flags & kDecimals)) {
        if ((f.info->flags & kCurrency) && v.len >= 3) {
            v.data += 3;
            v.len -= 3;
        }
        const size_t places = f.ai % 10;
        if (v.len >= places) v.places = places;
    }
    return v;
}

template <typename Ch>
void AppendValue(const Field<Ch>& f, std::basic_string<Ch>& out) {
    const ValueParts<Ch> v = PartsOf(f);
    out.append(v.data, v.len - v.places);
    if (v.places) {
        out.push_back(Ch('.'));
        out.append(v.data + v.len - v.places, v.places);
    }
}

char* WriteValue(const Field<char>& f, char* dst) {
    const ValueParts<char> v = PartsOf(f);
    std::memcpy(dst, v.data, v.len - v.places);
    dst += v.len - v.places;
    if (v.places) {
        *dst++ = '.';
        std::memcpy(dst, v.data + v.len - v.places, v.places);
        dst += v.places;
    }
    return dst;
}

std::u16string Describe(const Finding& f, const Label<char16_t>& label) {
    std::u16string ai, named;
    const Field<char16_t>* field = f.field < label.fields.size() ? &label.fields[f.field] : nullptr;
    if (field) {
        ai = u"AI " + AiText({field->ai, field->aiLen, false});
        named = ai + (field->info ? u" (" + Title(*field->info) + u")" : u"");
    }
    const AiInfo* info = field ? field->info : nullptr;
    const std::u16string data = field ? std::u16string(field->data, field->len) : u"";
    switch (f.issue) {
        case Issue::kUnknownAi:
            return field ? ai + u" is not in the GS1 table: its data " + data +
                               u" runs to the next separator"
                         : u"characters that begin no GS1 AI are skipped";
        case Issue::kTruncated:
            return field && info ? named + u" ends after " + ToU16(field->len) + u" of its " +
                                       ToU16(info->maxLen) + u" characters: the label is cut short"
                                 : u"the label ends inside an AI: it is cut short";
        case Issue::kTooLong:
            return named + u" runs past its " + ToU16(info ? info->maxLen : 0) +
                   u" characters: a separator is missing after it; cut after them";
        case Issue::kTooShort:
            return named + u" holds " + ToU16(field ? field->len : 0) +
                   u" characters, fewer than its " + ToU16(info ? info->minLen : 0);
        case Issue::kMissingSeparator:
            return u"no separator after " + named + u", which needs one before the next AI";
        case Issue::kMisplacedSeparator:
            return field ? u"a separator inside " + named + u", whose data has a fixed length"
                         : u"two separators in a row";
        case Issue::kCheckDigit: {
            std::u16string digits = data.substr(info->checkAt, info->checkLen);
            const int want = CheckDigitOf(digits.data(), digits.size());
            return named + u" " + data + u": the check digit " + digits.substr(digits.size() - 1) +
                   u" is wrong, it would be " + ToU16(want);
        }
        case Issue::kDate:
            return named + u" " + data.substr(0, 6) + u" is no date (YYMMDD)";
        case Issue::kCharset:
            return named + u" " + data + u" holds characters its format does not allow";
        case Issue::kNotElementString:
            return u"the label is no GS1 element string";
        case Issue::kNoKey:
            return u"the Digital Link URI names no GS1 key in its path";
    }
    return u"";
}

template class Label<char>;
template class Label<char16_t>;
template void AppendValue(const Field<char>&, std::string&);
template void AppendValue(const Field<char16_t>&, std::u16string&);

}  // namespace quorvel::gs1
