// GS1 element strings as a till receives them from DataBar, GS1-128, GS1 DataMatrix and GS1 QR
// scanners: with GS (ASCII 29) or a substitute as separator, behind a symbology identifier or a
// leading GS, in the bracketed human-readable form, or as a GS1 Digital Link URI. A label is cut
// into its AIs' fields whatever is wrong with it: what is wrong becomes a finding, never a
// refusal, as a wrong check digit never stops the cut of an in-store code.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::gs1 {

// One row of the AI table (gs1_ai_table.inc). A family of decimal-indicator AIs (310n, 392n,
// ...) is one row whose `ai` is the stem of three digits.
struct AiInfo {
    const char* ai;
    uint8_t minLen, maxLen;
    char charset;               // 'N' digits, 'X' set 82, 'Y' set 39, 'Z' set 64
    uint8_t digits;             // leading characters that are digits whatever the charset
    uint8_t checkAt, checkLen;  // a mod-10 check digit over these digits (checkLen 0: none)
    uint8_t flags;
    uint8_t maxDecimals;  // of a family
    const char* title;    // UTF-8
};
enum AiFlag : uint8_t {
    kPredefined = 1,  // never needs a separator after its data
    kDate = 2,        // YYMMDD in the first six digits
    kDayZero = 4,     // a day of 00 stands for the month's end
    kDecimals = 8,    // the AI's last digit places the point
    kCurrency = 16,   // the first three digits are an ISO 4217 currency
};

std::span<const AiInfo> AllAis();
// The row for an AI written as 2 to 4 ASCII digits, a family's member included; nullptr when
// the table does not hold it.
const AiInfo* FindAi(std::string_view ai);
// How many digits an AI has, from its first two (0: no AI begins so).
int AiLength(int first, int second);

// The AI a level takes its value from: `len` digits of `ai` (len 0: a position level). A
// decimal-indicator AI stands for its whole family, the label's own last digit giving the
// decimals.
struct LevelAi {
    uint16_t ai = 0;
    uint8_t len = 0;
    bool family = false;
};
// What a level stores in `bz`: "GS1:" and the AI, and ":" with the scanner's substitute for GS
// when it has one (up to four characters).
struct LevelSpec {
    LevelAi ai;
    char16_t substitute[4] = {};
    uint8_t substituteLen = 0;
    std::u16string_view Substitute() const { return {substitute, substituteLen}; }
};
bool ReadMarker(std::u16string_view bz, LevelSpec& level);
std::u16string Marker(std::u16string_view ai, std::u16string_view substitute = {});
std::u16string AiText(const LevelAi& ai);

enum class Issue : uint8_t {
    kUnknownAi,
    kTruncated,           // the label ends inside a fixed-length field
    kTooLong,             // past the AI's most characters: a separator is missing
    kTooShort,            // fewer than the AI's least characters
    kMissingSeparator,    // a fixed-length AI that needs a separator has none
    kMisplacedSeparator,  // inside a fixed-length field, or two in a row
    kCheckDigit,
    kDate,
    kCharset,
    kNotElementString,
    kNoKey,  // a Digital Link URI without a GS1 key in its path
};
constexpr uint16_t kNoField = UINT16_MAX;
struct Finding {
    Issue issue;
    uint16_t field;  // index into the label's fields, or kNoField
};

enum class Form : uint8_t { kRaw, kBracketed, kDigitalLink, kEan };

template <typename Ch>
struct Field {
    uint16_t ai;
    uint8_t aiLen;
    const AiInfo* info;  // nullptr: unknown AI
    const Ch* data;
    uint32_t len;
};

template <typename Ch>
class Label {
  public:
    // `text` must outlive the label's fields. Never throws on any text but for memory.
    void Parse(std::basic_string_view<Ch> text, std::u16string_view substitute = {});
    const Field<Ch>* Find(const LevelAi& want) const {
        for (const auto& f : fields) {
            if (f.aiLen == want.len &&
                (f.ai == want.ai || (want.family && f.ai / 10 == want.ai / 10)))
                return &f;
        }
        return nullptr;
    }

    std::vector<Field<Ch>> fields;
    std::vector<Finding> findings;
    Form form = Form::kRaw;
    Ch symbology[2] = {};  // the identifier's two characters after ']', 0 when none

  private:
    void Raw(std::basic_string_view<Ch> s, size_t i);
    void Bracketed(std::basic_string_view<Ch> s, size_t i);
    void Link(std::basic_string_view<Ch> s, size_t i);
    void Add(uint16_t ai, uint8_t aiLen, const Ch* data, size_t len, bool lengthChecked);
    void Note(Issue issue, size_t field);
    std::basic_string<Ch> buf_;  // decoded data, reserved so that fields may point into it
    std::u16string_view sub_;
};

// The value a level gets from a field: its data as cut, with the point that a decimal AI's last
// digit places (after the currency, which is left out), as position levels insert it.
template <typename Ch>
void AppendValue(const Field<Ch>& f, std::basic_string<Ch>& out);
// The same, written at `dst` (room for len + 1); returns the end.
char* WriteValue(const Field<char>& f, char* dst);

// A finding in the staff's words.
std::u16string Describe(const Finding& f, const Label<char16_t>& label);
std::u16string Title(const AiInfo& info);

}  // namespace quorvel::gs1
