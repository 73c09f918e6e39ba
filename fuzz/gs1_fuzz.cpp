// GS1 labels as a till receives them, from anything a scanner or a keyboard wedge can send: the
// parse ends, every field lies inside the label or its decoded copy, findings stay bounded, and
// the bytes batch cuts give the fields the host's wide text gives.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "service/gs1.h"

using namespace quorvel;
using namespace quorvel::fuzz;

namespace {

template <typename Ch>
std::string Values(const gs1::Label<Ch>& label) {
    std::string out;
    for (const auto& f : label.fields) {
        std::basic_string<Ch> v;
        gs1::AppendValue(f, v);
        Require(v.size() <= f.len + 1);
        for (Ch c : v) out += static_cast<char>(c);
        out += '|';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks a substitute for GS: none, or one to three of the label's own bytes.
    const size_t subLen = std::min<size_t>(data[0] % 4, size - 1);
    std::u16string sub(data + 1, data + 1 + subLen);
    const std::string_view text = Bytes(data + 1 + subLen, size - 1 - subLen);

    gs1::Label<char> narrow;
    narrow.Parse(text, sub);
    Require(narrow.findings.size() <= 64);
    for (const auto& f : narrow.fields) {
        Require(f.len <= text.size() + 14);
        Require(f.aiLen <= 4);
    }
    for (const auto& finding : narrow.findings) {
        Require(finding.field == gs1::kNoField || finding.field < narrow.fields.size());
    }
    // The same bytes as wide text (each byte one character of its value): the same fields and
    // the same values.
    std::u16string wide;
    for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    gs1::Label<char16_t> w;
    w.Parse(wide, sub);
    Require(w.fields.size() == narrow.fields.size());
    Require(w.findings.size() == narrow.findings.size());
    Require(Values(narrow) == Values(w));
    for (const auto& finding : w.findings) Require(!gs1::Describe(finding, w).empty());
    return 0;
}
