// A rule's levels read once and applied to many barcodes: re-analysing a day's scanned codes
// must not cost a connection and a query per category for every one of them. Every result is
// what ParseBarCode returns for the same category list, barcode and rule.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "service/analyser.h"

namespace quorvel {

class CompiledRule;

// Cuts every line of `in` and writes one result line per input line to `out`, as `quorvel parse`
// does for barcodes on its standard input (a carriage return before the line feed is dropped, and
// a UTF-8 byte-order mark at the very start).
// Memory stays bounded whatever the input: a line is kept only as far as a cut can reach.
// `progress`, when set, is called now and then with the lines and bytes done so far. Throws
// std::runtime_error when reading or writing fails.
struct BatchCount {
    uint64_t lines = 0;
    uint64_t bytes = 0;
};
BatchCount ParseLines(const CompiledRule& rule, std::FILE* in, std::FILE* out,
                      const std::function<void(const BatchCount&)>& progress = {});

class CompiledRule {
  public:
    // Reads the level of each category of the list by the analyser's own query on the shared
    // connection, which the caller has opened (OpenConnection). An empty rule id or an empty
    // barcode stand for the module's defaults, as in ParseBarCode.
    CompiledRule(const std::u16string& lbid, const std::u16string& gzid);

    std::u16string Parse(const std::u16string& txm) const;

    // One barcode in UTF-8 (decoded as FromUtf8 decodes it); the result is appended in UTF-8.
    // Lines of plain ASCII, which scanners deliver, are cut in place without conversion.
    void AppendParsed(std::string_view line, std::string& out) const;

    // The most characters of a barcode that any of its cuts can reach. A GS1 level reaches the
    // whole label, up to kGs1Reach characters: no symbol a till scans holds more.
    int32_t Reach() const { return reach_; }
    static constexpr int32_t kGs1Reach = 8192;

    // True when the store could not answer a level query (not a store, no rule tables): every
    // value would be empty for a reason that lies in the store, not in the rule.
    bool StoreFailed() const { return storeFailed_; }

  private:
    friend BatchCount ParseLines(const CompiledRule&, std::FILE*, std::FILE*,
                                 const std::function<void(const BatchCount&)>&);
    // A cut precomputed with the analyser's 16-bit arithmetic: the 0-based first character
    // (kNever when it can never give one), the count and the decimal places.
    static constexpr uint32_t kNever = UINT32_MAX;
    struct Piece {
        uint32_t from = kNever, count = 0;
        int32_t places = 0;
        SegmentLevel level;
    };
    std::vector<Piece> pieces_;
    // The cut of a line that reaches every piece whole, as a fixed plan: copy `len` bytes from
    // `src`, then write `sep` (a comma, the point, or the closing line feed).
    struct Op {
        uint32_t src, len;
        char sep;
    };
    std::vector<Op> whole_;
    std::u16string defaultTxm_;
    int32_t reach_ = 0;
    bool gs1_ = false;  // some level takes an AI: each line is parsed as an element string
    bool storeFailed_ = false;
};

}  // namespace quorvel
