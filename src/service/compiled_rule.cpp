#include "service/compiled_rule.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "store/error.h"
#include "store/module_state.h"
#include "store/text.h"
#include "store/value.h"

namespace quorvel {

CompiledRule::CompiledRule(const std::u16string& lbid, const std::u16string& gzid) {
    auto& m = Module();
    const std::u16string rule = gzid.empty() ? m.TxmGZ : gzid;
    defaultTxm_ = m.TXMName;
    for (const auto& item : SplitCategories(lbid)) {
        Piece p;
        p.level = GetAnalyseBarCode::ReadSegmentLevel(item, rule);
        if (p.level.read) {
            try {
                int16_t from = Add16(p.level.s, p.level.l);
                int16_t count = Add16(Sub16(p.level.e, p.level.s), 1);
                Mid(u"", from, count);  // refuses the cut exactly as it would for any barcode
                p.empty = false;
                p.from = static_cast<uint32_t>(from - 1);
                p.count = static_cast<uint32_t>(count);
                p.places = p.level.x;
                reach_ = std::max(reach_, static_cast<int32_t>(p.from + p.count));
            } catch (const DbError&) {
                // an overflow or an impossible cut: this value is always empty
            }
        }
        pieces_.push_back(p);
    }
}

std::u16string CompiledRule::Parse(const std::u16string& txm) const {
    const std::u16string& code = txm.empty() ? defaultTxm_ : txm;
    std::u16string acc;
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (i) acc += u',';
        acc += GetAnalyseBarCode::CutSegment(pieces_[i].level, code);
    }
    return acc;
}

namespace {

bool IsAscii(const char* p, size_t n) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        any |= w;
    }
    for (; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
    return (any & 0x8080808080808080ULL) == 0;
}

// The cut of an ASCII line, where characters and bytes coincide: Mid's and InsertDecimalPoint's
// rules on bytes. `dst` has room for every piece at full width plus its comma and point.
template <typename Pieces>
char* CutAscii(const Pieces& pieces, const char* p, size_t n, char* dst) {
    bool first = true;
    for (const auto& piece : pieces) {
        if (!first) *dst++ = ',';
        first = false;
        if (piece.empty || piece.from >= n) continue;
        size_t len = std::min<size_t>(piece.count, n - piece.from);
        const char* seg = p + piece.from;
        if (piece.places > 0 && len >= static_cast<size_t>(piece.places)) {
            size_t head = len - static_cast<size_t>(piece.places);
            std::memcpy(dst, seg, head);
            dst += head;
            *dst++ = '.';
            std::memcpy(dst, seg + head, len - head);
            dst += len - head;
        } else {
            std::memcpy(dst, seg, len);
            dst += len;
        }
    }
    return dst;
}

size_t Room(size_t pieces, size_t n) {
    return pieces * (n + 2) + 1;
}

}  // namespace

void CompiledRule::AppendParsed(std::string_view line, std::string& out) const {
    if (line.empty() || !IsAscii(line.data(), line.size())) {
        out += ToUtf8(Parse(FromUtf8(line)));
        return;
    }
    size_t at = out.size();
    out.resize(at + Room(pieces_.size(), line.size()));
    char* end = CutAscii(pieces_, line.data(), line.size(), out.data() + at);
    out.resize(static_cast<size_t>(end - out.data()));
}

namespace {

// Output gathered in a block and written when full: one write per block, not per line.
class BlockWriter {
  public:
    explicit BlockWriter(std::FILE* out) : out_(out), buf_(kSize) {}
    char* Reserve(size_t n) {
        if (used_ + n > buf_.size()) Flush();
        if (n > buf_.size()) buf_.resize(n);
        return buf_.data() + used_;
    }
    void Commit(char* end) { used_ = static_cast<size_t>(end - buf_.data()); }
    void Flush() {
        if (used_ && std::fwrite(buf_.data(), 1, used_, out_) != used_) {
            throw std::runtime_error("cannot write the results");
        }
        used_ = 0;
    }

  private:
    static constexpr size_t kSize = 1 << 20;
    std::FILE* out_;
    std::vector<char> buf_;
    size_t used_ = 0;
};

}  // namespace

BatchCount ParseLines(const CompiledRule& rule, std::FILE* in, std::FILE* out,
                      const std::function<void(const BatchCount&)>& progress) {
    // A decoded character takes at most four bytes, so this much of a line decides every cut.
    const size_t cap = 4 * static_cast<size_t>(rule.Reach()) + 16;
    std::vector<char> buf(std::max<size_t>(1 << 20, 2 * cap));
    BlockWriter writer(out);
    BatchCount done;
    std::string slow;
    size_t begin = 0, end = 0;
    bool skipping = false;  // the rest of a line longer than `cap`, already answered
    bool eof = false;
    bool atStart = true;  // a UTF-8 byte-order mark there is dropped, as the command's reader does

    // `whole` is false for the kept beginning of an overlong line, whose end was not seen.
    auto emit = [&](const char* p, size_t n, bool whole) {
        if (whole && n && p[n - 1] == '\r') --n;
        if (n && IsAscii(p, n)) {
            char* dst = writer.Reserve(Room(rule.pieces_.size(), n) + 1);
            dst = CutAscii(rule.pieces_, p, n, dst);
            *dst++ = '\n';
            writer.Commit(dst);
        } else {
            slow.clear();
            rule.AppendParsed(std::string_view(p, n), slow);
            slow += '\n';
            char* dst = writer.Reserve(slow.size());
            std::memcpy(dst, slow.data(), slow.size());
            writer.Commit(dst + slow.size());
        }
        if (++done.lines % 65536 == 0 && progress) progress(done);
    };

    while (!eof) {
        if (begin > 0) {
            std::memmove(buf.data(), buf.data() + begin, end - begin);
            end -= begin;
            begin = 0;
        }
        size_t got = std::fread(buf.data() + end, 1, buf.size() - end, in);
        if (got == 0) {
            if (std::ferror(in)) throw std::runtime_error("cannot read the barcodes");
            eof = true;
        }
        done.bytes += got;
        end += got;
        if (atStart && (end >= 3 || eof || std::memchr(buf.data(), '\n', end))) {
            if (end >= 3 && std::memcmp(buf.data(), "\xEF\xBB\xBF", 3) == 0) begin = 3;
            atStart = false;
        }
        if (atStart) continue;
        for (;;) {
            const char* p = buf.data() + begin;
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - begin));
            if (!nl) break;
            size_t n = static_cast<size_t>(nl - p);
            begin += n + 1;
            if (skipping) {
                skipping = false;
                continue;
            }
            emit(p, n, true);
        }
        size_t partial = end - begin;
        if (skipping) {
            begin = end;
        } else if (partial > cap || (eof && partial > 0)) {
            // Past `cap` nothing of the line changes its result; at the end a last line counts
            // without its line feed.
            emit(buf.data() + begin, std::min(partial, cap), partial <= cap);
            begin = end;
            skipping = !eof;
        }
    }
    writer.Flush();
    if (std::fflush(out) != 0) throw std::runtime_error("cannot write the results");
    if (progress) progress(done);
    return done;
}

}  // namespace quorvel
