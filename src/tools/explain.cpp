#include "tools/explain.h"

#include <algorithm>

#include "service/analyser.h"
#include "store/text.h"
#include "tools/label_digits.h"

namespace quorvel::tools {

namespace {

std::u16string Num(int64_t n) {
    return ToU16(n);
}

bool Fits16(int64_t n) {
    return n >= INT16_MIN && n <= INT16_MAX;
}

// Columns a character takes in a terminal: East Asian wide characters and pairs take two.
size_t Width(const std::u16string& s) {
    size_t w = 0;
    for (char16_t c : s) {
        if (c >= 0xDC00 && c <= 0xDFFF) continue;
        bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                    (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0xD800 && c <= 0xDBFF);
        w += wide ? 2 : 1;
    }
    return w;
}

std::u16string FormName(const gs1::Label<char16_t>& label) {
    std::u16string id;
    if (label.symbology[0]) {
        id = u" behind the symbology identifier ]" + std::u16string(1, label.symbology[0]) +
             std::u16string(1, label.symbology[1]);
    }
    switch (label.form) {
        case gs1::Form::kBracketed:
            return u"GS1 element string in brackets" + id;
        case gs1::Form::kDigitalLink:
            return u"GS1 Digital Link URI" + id;
        case gs1::Form::kEan:
            return u"EAN/UPC code read as AI 01" + id;
        case gs1::Form::kRaw:
            break;
    }
    return u"GS1 element string" + id;
}

// The label's fields no level takes, and its findings that no level row shows.
void ReportLabel(const gs1::Label<char16_t>& label, const std::vector<bool>& taken,
                 std::vector<std::u16string>& head) {
    std::u16string rest;
    for (size_t i = 0; i < label.fields.size(); ++i) {
        if (taken[i]) continue;
        const auto& f = label.fields[i];
        rest += (rest.empty() ? u"" : u" ") + (u"(" + gs1::AiText({f.ai, f.aiLen, false}) + u")") +
                std::u16string(f.data, f.len);
    }
    if (!rest.empty()) head.push_back(u"label: no level takes " + rest);
    for (const auto& finding : label.findings) {
        if (finding.field < label.fields.size() && taken[finding.field]) continue;
        head.push_back(u"label: " + gs1::Describe(finding, label));
    }
}

}  // namespace

Explanation Explain(const StoredRule& rule, const CategoryLookup& categories,
                    const std::u16string& barcode) {
    Explanation out;
    const std::u16string code = rule.dnmid.value_or(u"");
    const bool onlyGs1 =
        !rule.levels.empty() && std::all_of(rule.levels.begin(), rule.levels.end(),
                                            [](const StoredLevel& l) { return l.till.IsGs1(); });
    out.head.push_back(u"rule " + rule.gzid + (rule.gzname ? u" " + *rule.gzname : u"") +
                       (onlyGs1        ? u": GS1 levels, each cut by its AI"
                        : code.empty() ? u": no in-store code, position 1 is barcode character 1"
                                       : u": in-store code " + code +
                                             u", position 1 is barcode "
                                             u"character " +
                                             Num(static_cast<int64_t>(code.size()) + 1)));
    out.head.push_back(u"barcode " + barcode + u": " + Num(static_cast<int64_t>(barcode.size())) +
                       u" characters");
    if (!onlyGs1 && !code.empty() && barcode.compare(0, code.size(), code) != 0) {
        out.head.push_back(u"note: the barcode does not begin with the in-store code " + code +
                           u"; a till cuts it all the same");
    }
    const auto findings = CheckRule(rule, categories);
    for (const auto& f : findings) {
        if (f.where.empty()) out.head.push_back(u"note: " + f.problem);
    }

    // A GS1 level reads the label as an element string, parsed with its substitute separator,
    // as a till does; the label is described once per substitute.
    bool anyGs1 = false;
    std::u16string parsedSub;
    gs1::Label<char16_t> label;
    std::vector<bool> taken;
    auto parse = [&](std::u16string_view sub) {
        if (anyGs1 && parsedSub == sub) return;
        if (anyGs1) ReportLabel(label, taken, out.head);
        anyGs1 = true;
        parsedSub = sub;
        label.Parse(std::u16string_view(barcode), sub);
        taken.assign(label.fields.size(), false);
        out.head.push_back(u"label: " + FormName(label) +
                           (sub.empty() ? u"" : u", substitute separator " + std::u16string(sub)));
    };

    const auto verifiers = VerifierChecks(rule, barcode, categories);
    for (const auto& l : rule.levels) {
        if (l.till.read && l.till.IsGs1()) {
            parse(l.till.gs1.Substitute());
            ExplainRow row;
            row.level = l.js ? Num(*l.js) : u"?";
            if (l.lbid) {
                auto c = categories(*l.lbid);
                row.category = *l.lbid + (c ? u" " + c->name.value_or(u"") : u" (not defined)");
            }
            row.positions = u"AI " + gs1::AiText(l.till.gs1.ai);
            std::vector<std::u16string> notes;
            if (const auto* f = label.Find(l.till.gs1.ai)) {
                const auto index = static_cast<size_t>(f - label.fields.data());
                taken[index] = true;
                row.characters = u"AI " + gs1::AiText({f->ai, f->aiLen, false}) +
                                 (f->info ? u" " + gs1::Title(*f->info) : u"");
                row.cut.assign(f->data, f->len);
                for (const auto& finding : label.findings) {
                    if (finding.field == index) notes.push_back(gs1::Describe(finding, label));
                }
            } else {
                notes.push_back(u"the label does not carry this AI: the value is empty");
            }
            row.value = l.tillUses ? GetAnalyseBarCode::CutGs1(l.till, label) : u"-";
            for (const auto& f : findings) {
                if (!f.where.empty() && f.level == l.js) notes.push_back(f.problem);
            }
            for (const auto& n : notes) row.note += (row.note.empty() ? u"" : u"; ") + n;
            out.rows.push_back(std::move(row));
            continue;
        }
        const int64_t length = l.till.l;
        ExplainRow row;
        row.level = l.js ? Num(*l.js) : u"?";
        if (l.lbid) {
            auto c = categories(*l.lbid);
            row.category = *l.lbid;
            row.category += c ? u" " : u" (not defined)";
            if (c) row.category += c->name.value_or(u"");
        }
        // The analyser's own reading of the level (the row the store gives a till, when it was
        // asked) and its own cut.
        SegmentLevel level = l.till;
        const int64_t s = level.s, e = level.e;
        auto stored = [&](const Number& n, const char16_t* column) -> std::u16string {
            if (n) return Num(*n);
            for (const auto& [c, v] : l.odd) {
                if (c == column) return Shown(v);
            }
            return u"null";
        };
        row.positions = level.read
                            ? Num(s) + u"-" + Num(e)
                            : stored(l.startws, u"startws") + u"-" + stored(l.endws, u"endws");
        row.value = GetAnalyseBarCode::CutSegment(level, barcode);
        level.x = 0;
        row.cut = GetAnalyseBarCode::CutSegment(level, barcode);

        std::vector<std::u16string> notes;
        const int64_t from = s + length, last = e + length;
        if (level.read && from >= 1 && e >= s && Fits16(from) && Fits16(e - s + 1)) {
            row.characters = Num(from) + u"-" + Num(last);
            const auto size = static_cast<int64_t>(barcode.size());
            if (size < from) {
                notes.push_back(u"the barcode ends before this level");
            } else if (size < last) {
                notes.push_back(u"the barcode is too short: cut to its end");
            }
        }
        // A level a till never gets has no value of its own: its category gives another's.
        if (!l.tillUses) row.value = u"-";
        for (const auto& f : findings) {
            if (!f.where.empty() && f.level == l.js) notes.push_back(f.problem);
        }
        for (const auto& v : verifiers) {
            if (v.level == &l) notes.push_back(VerifierNote(v));
        }
        for (const auto& n : notes) row.note += (row.note.empty() ? u"" : u"; ") + n;
        out.rows.push_back(std::move(row));
    }
    if (anyGs1) {
        ReportLabel(label, taken, out.head);
        out.checkDigit =
            u"check digit: a GS1 label has none of its own; its AIs' check digits are among "
            u"the findings";
    } else {
        out.checkDigit = CheckDigitNote(barcode);
    }
    return out;
}

std::u16string CheckDigitNote(const std::u16string& barcode) {
    const CheckDigit c = TestCheckDigit(barcode);
    if (!c.kind) return u"check digit: not tested (only codes of 8, 12 or 13 digits)";
    std::u16string last(1, barcode.back());
    if (c.valid) return u"check digit: " + last + u" is a valid " + c.kind + u" check digit";
    return u"check digit: " + last + u" is not a valid " + c.kind + u" check digit; it would be " +
           std::u16string(1, c.expected);
}

std::u16string Format(const Explanation& e) {
    std::vector<std::vector<std::u16string>> table{
        {u"level", u"category", u"positions", u"characters", u"cut", u"value", u"note"}};
    for (const auto& r : e.rows) {
        table.push_back({r.level, r.category, r.positions, r.characters, r.cut, r.value, r.note});
    }
    std::vector<size_t> widths(table[0].size(), 0);
    for (const auto& row : table) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    }
    std::u16string out;
    for (const auto& h : e.head) out += h + u"\n";
    for (const auto& row : table) {
        std::u16string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::u16string(widths[i] - Width(row[i]) + 2, u' ');
        }
        while (!line.empty() && line.back() == u' ') line.pop_back();
        out += line + u"\n";
    }
    return out + e.checkDigit + u"\n";
}

}  // namespace quorvel::tools
