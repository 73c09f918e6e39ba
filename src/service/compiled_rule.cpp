#include "service/compiled_rule.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <stdexcept>

#include "store/error.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "store/value.h"

namespace quorvel {

CompiledRule::CompiledRule(const std::u16string& lbid, const std::u16string& gzid) {
    auto& m = Module();
    const std::u16string rule = gzid.empty() ? m.TxmGZ : gzid;
    defaultTxm_ = m.TXMName;
    const std::vector<std::u16string> items = SplitCategories(lbid);
    // The levels of one version, as a scan reads them.
    for (SegmentLevel& level : GetAnalyseBarCode::ReadScanLevels(items, rule)) {
        Piece p;
        p.level = std::move(level);
        storeFailed_ = storeFailed_ || p.level.queryFailed;
        if (p.level.read && p.level.IsGs1()) {
            gs1_ = true;
            reach_ = std::max(reach_, kGs1Reach);
            p.from = 0;  // not kNever: the label decides whether there is a value
        } else if (p.level.read) {
            try {
                int16_t from = Add16(p.level.s, p.level.l);
                int16_t count = Add16(Sub16(p.level.e, p.level.s), 1);
                Mid(u"", from, count);  // refuses the cut exactly as it would for any barcode
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
    for (const auto& p : pieces_) {
        if (gs1_) break;  // a plan of positions does not serve labels of fields
        if (p.from == kNever) {
            whole_.push_back({0, 0, ','});
        } else if (p.places > 0 && p.count >= static_cast<uint32_t>(p.places)) {
            uint32_t head = p.count - static_cast<uint32_t>(p.places);
            whole_.push_back({p.from, head, '.'});
            whole_.push_back({p.from + head, p.count - head, ','});
        } else {
            whole_.push_back({p.from, p.count, ','});
        }
    }
    if (whole_.empty()) whole_.push_back({0, 0, ','});
    whole_.back().sep = '\n';
}

std::u16string CompiledRule::Parse(const std::u16string& txm) const {
    const std::u16string& code = txm.empty() ? defaultTxm_ : txm;
    std::u16string acc;
    gs1::Label<char16_t> label;
    bool parsed = false;
    std::u16string_view parsedSub;
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (i) acc += u',';
        if (pieces_[i].level.IsGs1()) {
            const auto& level = pieces_[i].level;
            if (!parsed || parsedSub != level.gs1.Substitute()) {
                parsedSub = level.gs1.Substitute();
                label.Parse(std::u16string_view(code), parsedSub);
                parsed = true;
            }
            acc += GetAnalyseBarCode::CutGs1(level, label);
            continue;
        }
        // A cut found impossible once is not tried again, failing, for every barcode.
        if (pieces_[i].from != kNever) acc += GetAnalyseBarCode::CutSegment(pieces_[i].level, code);
    }
    return acc;
}

namespace {

[[gnu::always_inline]] inline bool IsAscii(const char* p, size_t n) {
    uint64_t any = 0, w;
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&w, p + i, 8);
            any |= w;
        }
        std::memcpy(&w, p + n - 8, 8);  // the last eight, overlapping what came before
        any |= w;
    } else {
        for (size_t i = 0; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
    }
    return (any & 0x8080808080808080ULL) == 0;
}

// Padding after the input and the output blocks, so that short copies can move a fixed 16
// bytes: a fixed-size copy is a couple of register moves, a variable one a call.
constexpr size_t kPad = 16;

template <bool kPadded>
inline void Copy(char* dst, const char* src, size_t n) {
    if (kPadded && n <= kPad) {
        std::memcpy(dst, src, kPad);
    } else {
        std::memcpy(dst, src, n);
    }
}

// The cut of an ASCII line, where characters and bytes coincide: Mid's and InsertDecimalPoint's
// rules on bytes. `dst` has room for every piece at full width plus its comma and point (and
// kPad more when kPadded, when 16 bytes past any point of the line may be read as well).
template <bool kPadded, typename Pieces>
[[gnu::always_inline]] inline char* CutAscii(const Pieces& pieces, const char* __restrict p,
                                             size_t n, char* __restrict dst) {
    bool first = true;
    for (const auto& piece : pieces) {
        if (!first) *dst++ = ',';
        first = false;
        if (piece.from >= n) continue;  // kNever is past any line
        size_t len = std::min<size_t>(piece.count, n - piece.from);
        const char* seg = p + piece.from;
        if (piece.places > 0 && len >= static_cast<size_t>(piece.places)) {
            size_t head = len - static_cast<size_t>(piece.places);
            Copy<kPadded>(dst, seg, head);
            dst += head;
            *dst++ = '.';
            Copy<kPadded>(dst, seg + head, len - head);
            dst += len - head;
        } else {
            Copy<kPadded>(dst, seg, len);
            dst += len;
        }
    }
    return dst;
}

size_t Room(size_t pieces, size_t n) {
    return pieces * (n + 2) + 1;
}

// The cut of an ASCII line by a rule with GS1 levels: the line parsed as an element string (again
// only for a level naming another substitute separator), each GS1 level's value from its AI,
// any position level cut as above.
template <typename Pieces>
char* CutLabel(const Pieces& pieces, gs1::Label<char>& label, const char* p, size_t n, char* dst) {
    bool parsed = false;
    std::u16string_view parsedSub;
    bool first = true;
    for (const auto& piece : pieces) {
        if (!first) *dst++ = ',';
        first = false;
        if (!piece.level.IsGs1()) {
            dst = CutAscii<false>(std::span(&piece, 1), p, n, dst);
            continue;
        }
        if (!parsed || parsedSub != piece.level.gs1.Substitute()) {
            parsedSub = piece.level.gs1.Substitute();
            label.Parse(std::string_view(p, n), parsedSub);
            parsed = true;
        }
        if (const auto* f = label.Find(piece.level.gs1.ai)) dst = gs1::WriteValue(*f, dst);
    }
    return dst;
}

}  // namespace

void CompiledRule::AppendParsed(std::string_view line, std::string& out) const {
    if (line.empty() || !IsAscii(line.data(), line.size())) {
        out += ToUtf8(Parse(FromUtf8(line)));
        return;
    }
    if (gs1_) {
        gs1::Label<char> label;
        size_t at = out.size();
        out.resize(at + Room(pieces_.size(), line.size()));
        char* end = CutLabel(pieces_, label, line.data(), line.size(), out.data() + at);
        out.resize(static_cast<size_t>(end - out.data()));
        return;
    }
    size_t at = out.size();
    out.resize(at + Room(pieces_.size(), line.size()));
    char* end = CutAscii<false>(pieces_, line.data(), line.size(), out.data() + at);
    out.resize(static_cast<size_t>(end - out.data()));
}

namespace {

// Output gathered in a block and written when full: one write per block, not per line.
class BlockWriter {
  public:
    explicit BlockWriter(std::FILE* out) : out_(out), buf_(kSize), pos(buf_.data()) {}
    size_t Room() const { return static_cast<size_t>(buf_.data() + buf_.size() - pos); }
    void Need(size_t n) {
        if (Room() >= n) return;
        Flush();
        if (n > buf_.size()) {
            buf_.resize(n);
            pos = buf_.data();
        }
    }
    void Flush() {
        size_t used = static_cast<size_t>(pos - buf_.data());
        if (used && std::fwrite(buf_.data(), 1, used, out_) != used) {
            throw std::runtime_error("cannot write the results");
        }
        pos = buf_.data();
    }

  private:
    static constexpr size_t kSize = 1 << 20;
    std::FILE* out_;
    std::vector<char> buf_;

  public:
    char* pos;  // where the next result goes
};

// Lines up to this long, ASCII as scanners deliver them, take the path without a conversion.
constexpr size_t kShort = 64;

}  // namespace

BatchCount ParseLines(const CompiledRule& rule, std::FILE* in, std::FILE* out,
                      const std::function<void(const BatchCount&)>& progress) {
    // A decoded character takes at most four bytes, so this much of a line decides every cut.
    const size_t cap = 4 * static_cast<size_t>(rule.Reach()) + 16;
    const size_t size = std::max<size_t>(1 << 20, 2 * cap);
    std::vector<char> buf(size + kPad);
    BlockWriter writer(out);
    BatchCount done;
    std::string slow;
    size_t begin = 0, end = 0;
    bool skipping = false;  // the rest of a line longer than `cap`, already answered
    bool eof = false;
    bool atStart = true;  // a UTF-8 byte-order mark there is dropped, as the command's reader does
    const auto& pieces = rule.pieces_;
    const size_t shortRoom = Room(pieces.size(), kShort) + 1 + kPad;
    const auto& whole = rule.whole_;
    const size_t reach = static_cast<size_t>(rule.Reach());

    auto counted = [&] {
        if ((++done.lines & 0xFFFF) == 0 && progress) progress(done);
    };
    // Any line: the in-place cut for ASCII, else the analyser's cut on the decoded text.
    gs1::Label<char> label;
    auto emit = [&](const char* p, size_t n) {
        if (rule.gs1_ && n && IsAscii(p, n)) {
            writer.Need(Room(pieces.size(), n) + 1);
            char* d = CutLabel(pieces, label, p, n, writer.pos);
            *d++ = '\n';
            writer.pos = d;
        } else if (n && IsAscii(p, n)) {
            writer.Need(Room(pieces.size(), n) + 1 + kPad);
            char* d = CutAscii<true>(pieces, p, n, writer.pos);
            *d++ = '\n';
            writer.pos = d;
        } else {
            slow.clear();
            rule.AppendParsed(std::string_view(p, n), slow);
            slow += '\n';
            writer.Need(slow.size());
            std::memcpy(writer.pos, slow.data(), slow.size());
            writer.pos += slow.size();
        }
        counted();
    };

    while (!eof) {
        if (begin > 0) {
            std::memmove(buf.data(), buf.data() + begin, end - begin);
            end -= begin;
            begin = 0;
        }
        size_t got = std::fread(buf.data() + end, 1, size - end, in);
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
            if (n && p[n - 1] == '\r') --n;
            if (rule.gs1_) {
                emit(p, n);
            } else if (n - 1 < kShort && n >= reach &&
                       IsAscii(p, n)) {  // the common case, kept tight
                if (writer.Room() < shortRoom) writer.Flush();
                char* d = writer.pos;
                for (const auto& op : whole) {
                    Copy<true>(d, p + op.src, op.len);
                    d += op.len;
                    *d++ = op.sep;
                }
                writer.pos = d;
                counted();
            } else if (n - 1 < kShort && IsAscii(p, n)) {
                if (writer.Room() < shortRoom) writer.Flush();
                char* d = CutAscii<true>(pieces, p, n, writer.pos);
                *d++ = '\n';
                writer.pos = d;
                counted();
            } else {
                emit(p, n);
            }
        }
        size_t partial = end - begin;
        if (skipping) {
            begin = end;
        } else if (partial > cap || (eof && partial > 0)) {
            // Past `cap` nothing of the line changes its result; at the end a last line counts
            // without its line feed.
            const char* p = buf.data() + begin;
            size_t n = std::min(partial, cap);
            if (partial <= cap && p[n - 1] == '\r') --n;
            emit(p, n);
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
