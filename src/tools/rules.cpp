#include "tools/rules.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "store/dialect.h"
#include "store/error.h"
#include "store/text.h"

namespace quorvel::tools {

namespace {

Text TextOf(const FieldValue& v) {
    if (v.IsNull()) return std::nullopt;
    return v.ToText();
}

// Whole numbers exactly, whatever their size; anything else but Null goes to `odd`.
Number NumberOf(const FieldValue& v, const char16_t* column, OddValues& odd) {
    using K = FieldValue::Kind;
    switch (v.kind()) {
        case K::Null:
            return std::nullopt;
        case K::Int16:
        case K::Int32:
        case K::Int64:
            return v.AsInt();
        case K::Single:
        case K::Double:
        case K::Currency:
        case K::Decimal: {
            const double d = v.AsReal();
            // 2^63 is the first double past the 64-bit range.
            if (d == std::floor(d) && std::fabs(d) < 9223372036854775808.0) {
                return static_cast<int64_t>(d);
            }
            break;
        }
        case K::Text: {
            const auto& t = v.AsText();
            size_t i = t.empty() || (t[0] != u'-' && t[0] != u'+') ? 0 : 1;
            bool digits = i < t.size() && t.size() <= 19 + i &&
                          std::all_of(t.begin() + static_cast<ptrdiff_t>(i), t.end(),
                                      [](char16_t c) { return c >= u'0' && c <= u'9'; });
            if (!digits) break;
            try {
                return std::stoll(ToUtf8(t));
            } catch (const std::out_of_range&) {
                break;  // nineteen digits past the 64-bit range
            }
            break;
        }
        default:
            break;
    }
    odd.emplace_back(column, v.IsEmpty() ? u"" : v.ToText());
    return std::nullopt;
}

std::u16string Num(int64_t n) {
    return ToU16(n);
}

std::u16string LevelName(const StoredLevel& l) {
    std::u16string s = u"level " + (l.js ? Num(*l.js) : u"?");
    if (l.lbid) s += u" (" + Shown(*l.lbid) + u")";
    return s;
}

bool Fits16(int64_t n) {
    return n >= INT16_MIN && n <= INT16_MAX;
}

// A column as a finding names it: a shop's staff know the editor's fields, not the columns.
std::u16string ColumnSaid(const std::u16string& column) {
    const std::u16string what = column == u"txmzws"    ? u"the stored total length"
                                : column == u"startws" ? u"the level's first position"
                                : column == u"endws"   ? u"the level's last position"
                                : column == u"xsws"    ? u"the level's decimal places"
                                : column == u"js"      ? u"the level number"
                                                       : u"";
    return what.empty() ? column : column + u" (" + what + u")";
}

}  // namespace

std::u16string Shown(const std::u16string& value) {
    return value.size() <= 40 ? value : value.substr(0, 40) + u"…";
}

void ReadAsTill(StoredLevel& level, const FieldValue& startws, const FieldValue& endws,
                const FieldValue& xsws, const Text& dnmid, const Text& bz) {
    level.unreadable.clear();
    try {
        const FieldValue remark = bz ? FieldValue::Text(*bz) : FieldValue::Null();
        level.till = GetAnalyseBarCode::LevelFromRow(
            startws, endws, xsws, dnmid ? FieldValue::Text(*dnmid) : FieldValue::Null(), &remark);
        return;
    } catch (const DbError&) {
        level.till = SegmentLevel{};
    }
    // Which value, and why, in the analyser's order of reading.
    const std::pair<const char16_t*, const FieldValue*> values[] = {
        {u"start", &startws}, {u"end", &endws}, {u"decimal places", &xsws}};
    for (const auto& [name, v] : values) {
        try {
            v->ToInt16();
        } catch (const DbError& e) {
            level.unreadable =
                std::u16string(name) + u" " + Shown(FieldText(*v)) +
                (e.Number() == err::kOverflow
                     ? u" is outside the 16-bit range"
                     : u" is not a number a till can read (" + e.Description() + u")");
            return;
        }
    }
    level.unreadable = u"the in-store code is longer than 32767 characters";
}

namespace {

bool Nameable(const Text& lbid) {
    return lbid && lbid->find(u',') == std::u16string::npos;
}

}  // namespace

void AskTill(Connection& conn, StoredRule& rule) {
    auto& levels = rule.levels;
    std::vector<bool> done(levels.size(), false);
    for (size_t i = 0; i < levels.size(); ++i) {
        if (!Nameable(levels[i].lbid)) levels[i].tillUses = false;
        if (done[i] || !Nameable(levels[i].lbid)) continue;
        // The levels the store finds for this category, compared as the store compares ids.
        std::set<std::u16string> same;
        auto found = conn.Query(u"select lbid from txm_gzmx where gzid=" + SqlQuote(rule.gzid) +
                                u" and lbid=" + SqlQuote(*levels[i].lbid));
        for (const auto& row : found->rows) same.insert(FieldText(row[0]));
        std::vector<size_t> group;
        for (size_t k = i; k < levels.size(); ++k) {
            if (!done[k] && Nameable(levels[k].lbid) && same.count(*levels[k].lbid)) {
                group.push_back(k);
                done[k] = true;
            }
        }
        if (group.empty()) group.push_back(i);  // a store that forgets a row it just gave
        // The till's row has no level number: it is the first level of the group whose reading
        // is the row's (levels that read alike cut alike).
        auto row = conn.Query(GetAnalyseBarCode::SegmentLevelSql(*levels[i].lbid, rule.gzid));
        size_t used = group[0];
        StoredLevel reading;
        if (!row->rows.empty()) {
            const auto& r = row->rows[0];
            ReadAsTill(reading, r[0], r[1], r[2], FieldText(r[3]), std::nullopt);
            if (GetAnalyseBarCode::MayBeGs1(reading.till)) {  // the remark, as a till reads it
                auto marker =
                    conn.Query(GetAnalyseBarCode::Gs1MarkerSql(*levels[i].lbid, rule.gzid));
                if (!marker->rows.empty()) {
                    ReadAsTill(reading, r[0], r[1], r[2], FieldText(r[3]),
                               TextOf(marker->rows[0][0]));
                }
            }
            for (size_t k : group) {
                const auto& t = levels[k].till;
                if (t.read == reading.till.read && t.s == reading.till.s && t.e == reading.till.e &&
                    t.x == reading.till.x && t.gs1.ai.ai == reading.till.gs1.ai.ai &&
                    t.gs1.ai.len == reading.till.gs1.ai.len &&
                    levels[k].unreadable == reading.unreadable) {
                    used = k;
                    break;
                }
            }
        }
        for (size_t k : group) {
            levels[k].tillUses = k == used;
            levels[k].twins.clear();
            for (size_t o : group) {
                if (o != k) levels[k].twins.push_back(o);
            }
        }
    }
}

std::u16string Line(const Finding& f) {
    return f.rule + u": " + (f.where.empty() ? u"" : f.where + u": ") + f.problem;
}

std::vector<StoredRule> LoadRules(Connection& conn, const std::vector<std::u16string>& ids,
                                  std::vector<std::u16string>& missing) {
    std::vector<StoredRule> rules;
    std::unordered_set<std::u16string> loaded;  // exact ids: the store has compared already
    auto add = [&](const ResultData& d) {
        // Header rows of one id (as the store counts them) come together, ordered or asked by
        // id: the first is the rule, the others are counted as its further headers.
        int64_t more = 0;
        size_t current = SIZE_MAX;  // none: the id was loaded before
        for (const auto& row : d.rows) {
            if (more > 0) {
                --more;
                if (current != SIZE_MAX) ++rules[current].headers;
                continue;
            }
            const auto headers = static_cast<int64_t>(row[4].ToDouble());
            more = headers - 1;
            StoredRule r;
            r.gzid = TextOf(row[0]).value_or(u"");
            current = SIZE_MAX;
            if (!loaded.insert(r.gzid).second) continue;
            r.gzname = TextOf(row[1]);
            r.dnmid = TextOf(row[2]);
            r.txmzws = NumberOf(row[3], u"txmzws", r.odd);
            r.headers = std::max<int64_t>(headers, 1);
            current = rules.size();
            rules.push_back(std::move(r));
        }
    };
    const std::u16string head =
        u"select gzid,gzname,dnmid,txmzws,(select count(*) from txm_gzzb h where "
        u"h.gzid=txm_gzzb.gzid) as headers from txm_gzzb";
    if (ids.empty()) add(*conn.Query(head + u" order by gzid"));
    for (const auto& id : ids) {
        auto d = conn.Query(head + u" where gzid=" + SqlQuote(id));
        if (d->rows.empty()) missing.push_back(id);
        add(*d);
    }
    for (auto& r : rules) {
        // The raw columns for export, and the analyser's own expressions for what a till reads.
        auto d = conn.Query(
            u"select js,lbid,startws,endws,xsws,bz,isnull(startws,0) as s,isnull(endws,0) as "
            u"e,isnull(xsws,0) as x from txm_gzmx where gzid=" +
            SqlQuote(r.gzid) + u" order by js");
        for (const auto& row : d->rows) {
            StoredLevel l;
            l.js = NumberOf(row[0], u"js", l.odd);
            l.lbid = TextOf(row[1]);
            l.startws = NumberOf(row[2], u"startws", l.odd);
            l.endws = NumberOf(row[3], u"endws", l.odd);
            l.xsws = NumberOf(row[4], u"xsws", l.odd);
            l.bz = TextOf(row[5]);
            ReadAsTill(l, row[6], row[7], row[8], r.dnmid, l.bz);
            l.tillUses = Nameable(l.lbid);
            r.levels.push_back(std::move(l));
        }
        // A driver may type an expression's column by its first row and convert the others to
        // that type (a 5.5 below a 5 read as 5), while the analyser reads a one-row result: so
        // each level is read again alone, as the analyser's query delivers it.
        for (auto& l : r.levels) {
            if (!l.js || r.levels.size() == 1) continue;
            auto one = conn.Query(
                u"select isnull(startws,0) as s,isnull(endws,0) as e,isnull(xsws,0) as x from "
                u"txm_gzmx where gzid=" +
                SqlQuote(r.gzid) + u" and js=" + Num(*l.js));
            if (one->rows.size() == 1) {
                const auto& v = one->rows[0];
                ReadAsTill(l, v[0], v[1], v[2], r.dnmid, l.bz);
            }
        }
    }
    // Categories that repeat within a rule, as the store groups ids (one query for the store);
    // only those rules need asking which of their levels a till gets.
    std::set<std::u16string> repeat;
    auto twice = conn.Query(
        u"select gzid,count(*) as n from txm_gzmx where lbid is not null group by gzid,lbid "
        u"having count(*)>1");
    for (const auto& row : twice->rows) {
        std::u16string id = FieldText(row[0]);
        if (loaded.count(id)) {
            repeat.insert(id);
            continue;
        }
        // Levels whose rule id the store takes for a header's written otherwise: the header's.
        auto headers = conn.Query(u"select gzid from txm_gzzb where gzid=" + SqlQuote(id));
        for (const auto& h : headers->rows) repeat.insert(FieldText(h[0]));
    }
    for (auto& r : rules) {
        if (repeat.count(r.gzid)) AskTill(conn, r);
    }
    return rules;
}

std::optional<Category> FindCategory(Connection& conn, const std::u16string& id) {
    auto d = conn.Query(u"select id,name from glsx where fid=1006 and id=" + SqlQuote(id));
    if (d->rows.empty()) return std::nullopt;
    return Category{TextOf(d->rows[0][0]).value_or(id), TextOf(d->rows[0][1])};
}

CategoryLookup StoreCategories(Connection& conn) {
    // Asked once per id as written; whether two ids are one category is the store's answer.
    auto known = std::make_shared<std::map<std::u16string, std::optional<Category>>>();
    return [&conn, known](const std::u16string& id) {
        auto it = known->find(id);
        if (it == known->end()) it = known->emplace(id, FindCategory(conn, id)).first;
        return it->second;
    };
}

namespace {

template <typename Find>
void CheckGs1Level(const StoredLevel& l, const Find& find) {
    const gs1::LevelAi& ai = l.till.gs1.ai;
    const std::u16string text = gs1::AiText(ai);
    const gs1::AiInfo* info = gs1::FindAi(ToUtf8(text));
    if (!info) {
        find(&l, "gs1-unknown-ai",
             u"AI " + text +
                 u" is not in the GS1 table: a till takes its data up to the next separator",
             false);
    }
    const auto sub = l.till.gs1.Substitute();
    for (char16_t c : sub) {
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
            find(&l, "gs1-substitute",
                 u"the substitute separator " + std::u16string(sub) +
                     u" holds letters or digits, which GS1 data holds too: a till ends fields "
                     u"inside their data");
            break;
        }
    }
    if (l.xsws && *l.xsws != 0) {
        find(&l, "gs1-decimals",
             Num(*l.xsws) +
                 u" decimal places are ignored: a GS1 level takes its decimals from the AI",
             false);
    }
}

}  // namespace

std::vector<Finding> CheckRule(const StoredRule& rule, const CategoryLookup& categories) {
    std::vector<Finding> out;
    auto find = [&](const StoredLevel* l, const char* code, std::u16string problem,
                    bool breaks = true) {
        out.push_back({rule.gzid, l ? l->js : std::nullopt, code, breaks, l ? LevelName(*l) : u"",
                       std::move(problem)});
    };
    for (const auto& [column, value] : rule.odd) {
        find(nullptr, "not-whole",
             ColumnSaid(column) + u" holds " + Shown(value) +
                 u", not a whole number: the editor cannot show it; tills are not affected",
             false);
    }
    if (rule.headers > 1) {
        find(nullptr, "duplicate-header",
             u"is stored with " + Num(rule.headers) +
                 u" header rows: a till takes the in-store code of whichever the database returns "
                 u"first");
    }
    for (size_t i = 0; i < rule.levels.size(); ++i) {
        const Number js = rule.levels[i].js;
        if (js && (i == 0 || rule.levels[i - 1].js != js) && i + 1 < rule.levels.size() &&
            rule.levels[i + 1].js == js) {
            find(&rule.levels[i], "duplicate-level-number",
                 u"level number " + Num(*js) +
                     u" is used more than once: the editor amends and deletes those levels "
                     u"together; tills are not affected",
                 false);
        }
    }
    if (rule.levels.empty()) {
        find(nullptr, "no-levels", u"has no levels: a till gets an empty value for every category");
        return out;
    }
    // Barcode characters [first, last] that each level a till uses really cuts.
    struct Cut {
        const StoredLevel* level;
        int64_t s, e;
    };
    std::vector<Cut> cuts;
    for (const auto& l : rule.levels) {
        if (!l.lbid) {
            find(&l, "no-category", u"has no category: a till never finds this level");
        } else if (l.lbid->find(u',') != std::u16string::npos) {
            find(&l, "comma-category",
                 u"category " + Shown(*l.lbid) +
                     u" holds a comma: a till can never ask for it (its category list is split "
                     u"at commas)");
        }
        for (const auto& [column, value] : l.odd) {
            if (column == u"js" || !l.till.read) continue;
            find(&l, "not-whole",
                 ColumnSaid(column) + u" holds " + Shown(value) +
                     (l.unreadable.empty() ? u", not a whole number: a till reads it as " +
                                                 Num(column == u"startws" ? l.till.s
                                                     : column == u"endws" ? l.till.e
                                                                          : l.till.x)
                                           : u", not a whole number"),
                 false);
        }
        if (!l.till.read) {
            const bool range = l.unreadable.find(u"16-bit") != std::u16string::npos;
            find(&l, range ? "outside-16-bit" : "unreadable",
                 (l.unreadable.empty() ? u"cannot be read" : l.unreadable) +
                     u": a till always gets an empty value");
            continue;
        }
        if (l.till.IsGs1()) {
            CheckGs1Level(l, find);
            continue;
        }
        if (l.bz && l.bz->starts_with(u"GS1:")) {
            find(&l, "gs1-marker",
                 u"remark " + Shown(*l.bz) +
                     u" reads as no GS1 level (that needs \"GS1:\" with an AI of 2 to 4 digits, "
                     u"at positions 0 to -1): a till cuts it by its positions");
        }
        // The analyser's reading: 16-bit values, Null as 0.
        const int64_t s = l.till.s, e = l.till.e, x = l.till.x, codeLength = l.till.l;
        const int64_t from = s + codeLength, width = e - s + 1;
        if (!Fits16(from) || !Fits16(e - s) || !Fits16(width)) {
            find(&l, "overflow",
                 u"start " + Num(s) + u", end " + Num(e) + u" and an in-store code of " +
                     Num(codeLength) +
                     u" characters overflow 16-bit arithmetic: a till always gets an empty value");
            continue;
        }
        if (e < s) {
            find(&l, "end-before-start",
                 u"end " + Num(e) + u" is before start " + Num(s) +
                     u": a till always gets an empty value");
            continue;
        }
        if (from < 1) {
            find(&l, "start-below-1",
                 u"start " + Num(s) + u" is below 1: a till always gets an empty value");
            continue;
        }
        if (s < 1) {
            find(&l, "start-below-1",
                 u"start " + Num(s) +
                     u" is below 1: a till gets characters of the in-store code "
                     u"(from barcode character " +
                     Num(from) + u")");
        }
        if (x < 0) {
            find(&l, "decimals",
                 Num(x) + u" decimal places are negative: the point is never placed");
        } else if (x > width) {
            find(&l, "decimals",
                 Num(x) + u" decimal places in a level " + Num(width) +
                     u" characters wide: the point is never placed");
        }
        // Only what a till really cuts can overlap in its values.
        if (l.tillUses) cuts.push_back({&l, s, e});
    }
    for (size_t i = 0; i < cuts.size(); ++i) {
        for (size_t j = i + 1; j < cuts.size(); ++j) {
            int64_t lo = std::max(cuts[i].s, cuts[j].s), hi = std::min(cuts[i].e, cuts[j].e);
            if (lo > hi) continue;
            find(cuts[j].level, "overlap",
                 (lo == hi ? u"cuts position " + Num(lo)
                           : u"cuts positions " + Num(lo) + u"-" + Num(hi)) +
                     u" that " + LevelName(*cuts[i].level) +
                     u" cuts too: a till gets those characters in both values");
        }
    }

    // Categories: each once, at the level a till uses (the first, when it uses none).
    for (size_t i = 0; i < rule.levels.size(); ++i) {
        const auto& l = rule.levels[i];
        if (!l.lbid) continue;
        if (!l.tillUses && !l.twins.empty()) {
            const StoredLevel* used = nullptr;
            for (size_t o : l.twins) {
                if (rule.levels[o].tillUses) used = &rule.levels[o];
            }
            if (used) {
                find(&l, "duplicate-category",
                     u"a till never uses this level: asking for category " + Shown(*l.lbid) +
                         u" it gets the row of " + LevelName(*used) +
                         u", which the store returns first");
                continue;
            }
        }
        if (l.tillUses && !categories(*l.lbid)) {
            find(&l, "undefined-category",
                 u"category " + Shown(*l.lbid) +
                     u" is not a defined segment category: a till still cuts it, but the rule "
                     u"windows do not show this level");
        }
    }

    Number greatestEnd;
    size_t gs1Levels = 0;
    for (const auto& l : rule.levels) {
        if (l.till.IsGs1()) {
            ++gs1Levels;
            continue;
        }
        if (l.endws && (!greatestEnd || *l.endws > *greatestEnd)) greatestEnd = l.endws;
    }
    // A scanner sends one substitute for GS: levels that name different ones (or none) read one
    // label differently.
    const StoredLevel* firstGs1 = nullptr;
    for (const auto& l : rule.levels) {
        if (!l.till.IsGs1()) continue;
        if (!firstGs1) {
            firstGs1 = &l;
        } else if (l.till.gs1.Substitute() != firstGs1->till.gs1.Substitute()) {
            auto said = [](const StoredLevel& x) {
                const auto sub = x.till.gs1.Substitute();
                return sub.empty() ? std::u16string(u"none") : std::u16string(sub);
            };
            find(&l, "gs1-substitutes",
                 u"names the substitute separator " + said(l) + u" where " + LevelName(*firstGs1) +
                     u" names " + said(*firstGs1) +
                     u": a till reads the label's fields differently for them");
        }
    }
    if (gs1Levels && gs1Levels < rule.levels.size()) {
        find(nullptr, "mixed-levels",
             u"mixes GS1 levels with position levels: on a GS1 label the position levels cut "
             u"characters of the element string, on an in-store code the GS1 levels are empty",
             false);
    }
    // A GS1 rule has no positions: its total is 0 (or empty).
    const bool noPositions = gs1Levels == rule.levels.size() && (!rule.txmzws || *rule.txmzws == 0);
    if (!noPositions && greatestEnd != rule.txmzws) {
        find(nullptr, "total",
             u"the stored total " + (rule.txmzws ? Num(*rule.txmzws) : u"(empty)") +
                 u" disagrees with the levels' greatest end " +
                 (greatestEnd ? Num(*greatestEnd) : u"(empty)") +
                 u": the editor shows the stored one; tills are not affected",
             false);
    }
    return out;
}

}  // namespace quorvel::tools
