#include "tools/rules.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "store/dialect.h"
#include "store/error.h"
#include "store/text.h"

namespace quorvel::tools {

namespace {

Text TextOf(const FieldValue& v) {
    if (v.IsNull()) return std::nullopt;
    return v.ToText();
}

Number NumberOf(const FieldValue& v) {
    if (v.IsNull()) return std::nullopt;
    double d = v.ToDouble();
    if (d != std::floor(d) || std::fabs(d) > 9e15) {
        throw DbError(err::kTypeMismatch, u"Not a whole number: " + v.ToText());
    }
    return static_cast<int64_t>(d);
}

std::u16string Num(int64_t n) {
    return ToU16(n);
}

std::u16string LevelName(const StoredLevel& l) {
    std::u16string s = u"level " + (l.js ? Num(*l.js) : u"?");
    if (l.lbid) s += u" (" + *l.lbid + u")";
    return s;
}

bool Fits16(int64_t n) {
    return n >= INT16_MIN && n <= INT16_MAX;
}

}  // namespace

bool SameId(const std::u16string& a, const std::u16string& b) {
    return EqualsNoCase(a, b);
}

std::u16string Line(const Finding& f) {
    return f.rule + u": " + (f.where.empty() ? u"" : f.where + u": ") + f.problem;
}

std::vector<StoredRule> LoadRules(Connection& conn, const std::vector<std::u16string>& ids,
                                  std::vector<std::u16string>& missing) {
    std::vector<StoredRule> rules;
    auto add = [&](const ResultData& d) {
        const size_t first = rules.size();
        for (const auto& row : d.rows) {
            // Header rows of one id are one rule (they come together, ordered or asked by id).
            if (rules.size() > first && SameId(rules.back().gzid, TextOf(row[0]).value_or(u""))) {
                ++rules.back().headers;
                continue;
            }
            StoredRule r;
            r.gzid = TextOf(row[0]).value_or(u"");
            r.gzname = TextOf(row[1]);
            r.dnmid = TextOf(row[2]);
            r.txmzws = NumberOf(row[3]);
            rules.push_back(std::move(r));
        }
    };
    const std::u16string head = u"select gzid,gzname,dnmid,txmzws from txm_gzzb";
    if (ids.empty()) add(*conn.Query(head + u" order by gzid"));
    std::vector<std::u16string> asked;
    for (const auto& id : ids) {
        if (std::any_of(asked.begin(), asked.end(), [&](auto& a) { return SameId(a, id); })) {
            continue;
        }
        asked.push_back(id);
        auto d = conn.Query(head + u" where gzid=" + SqlQuote(id));
        if (d->rows.empty()) missing.push_back(id);
        add(*d);
    }
    for (auto& r : rules) {
        auto d = conn.Query(u"select js,lbid,startws,endws,xsws,bz from txm_gzmx where gzid=" +
                            SqlQuote(r.gzid) + u" order by js");
        for (const auto& row : d->rows) {
            r.levels.push_back({NumberOf(row[0]), TextOf(row[1]), NumberOf(row[2]),
                                NumberOf(row[3]), NumberOf(row[4]), TextOf(row[5])});
        }
    }
    return rules;
}

std::optional<Category> FindCategory(Connection& conn, const std::u16string& id) {
    auto d = conn.Query(u"select id,name from glsx where fid=1006 and id=" + SqlQuote(id));
    if (d->rows.empty()) return std::nullopt;
    return Category{TextOf(d->rows[0][0]).value_or(id), TextOf(d->rows[0][1])};
}

CategoryLookup StoreCategories(Connection& conn) {
    auto known =
        std::make_shared<std::vector<std::pair<std::u16string, std::optional<Category>>>>();
    return [&conn, known](const std::u16string& id) {
        for (const auto& [asked, found] : *known) {
            if (SameId(asked, id)) return found;
        }
        known->emplace_back(id, FindCategory(conn, id));
        return known->back().second;
    };
}

std::vector<Finding> CheckRule(const StoredRule& rule, const CategoryLookup& categories) {
    std::vector<Finding> out;
    auto find = [&](const StoredLevel* l, const char* code, std::u16string problem,
                    bool breaks = true) {
        out.push_back({rule.gzid, l ? l->js : std::nullopt, code, breaks, l ? LevelName(*l) : u"",
                       std::move(problem)});
    };
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
    const int64_t codeLength = rule.dnmid ? static_cast<int64_t>(rule.dnmid->size()) : 0;

    // Barcode characters [first, last] that each level really cuts, as the analyser computes.
    struct Cut {
        const StoredLevel* level;
        int64_t s, e;
    };
    std::vector<Cut> cuts;
    for (const auto& l : rule.levels) {
        if (!l.lbid) find(&l, "no-category", u"has no category: a till never finds this level");
        // The analyser reads Null as 0.
        const int64_t s = l.startws.value_or(0), e = l.endws.value_or(0), x = l.xsws.value_or(0);
        const std::pair<const char16_t*, int64_t> values[] = {
            {u"start", s}, {u"end", e}, {u"decimal places", x}};
        bool outside = false;
        for (const auto& [name, v] : values) {
            if (!Fits16(v)) {
                find(&l, "outside-16-bit",
                     std::u16string(name) + u" " + Num(v) +
                         u" is outside the 16-bit range: a till always gets an empty value");
                outside = true;
            }
        }
        if (outside) continue;
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
        cuts.push_back({&l, s, e});
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

    // Categories: each once, in level order.
    std::vector<const StoredLevel*> seen;
    for (const auto& l : rule.levels) {
        if (!l.lbid) continue;
        if (std::any_of(seen.begin(), seen.end(),
                        [&](const StoredLevel* o) { return SameId(*o->lbid, *l.lbid); })) {
            continue;
        }
        seen.push_back(&l);
        std::vector<std::u16string> twins;
        for (const auto& o : rule.levels) {
            if (&o != &l && o.lbid && SameId(*o.lbid, *l.lbid)) {
                twins.push_back(o.js ? Num(*o.js) : u"?");
            }
        }
        if (!twins.empty()) {
            std::u16string list;
            for (size_t i = 0; i < twins.size(); ++i) {
                if (i) list += i + 1 == twins.size() ? u" and " : u", ";
                list += twins[i];
            }
            find(&l, "duplicate-category",
                 u"category " + *l.lbid + u" is also in level" + (twins.size() > 1 ? u"s " : u" ") +
                     list + u": a till only ever gets the one the database returns first");
        }
        if (!categories(*l.lbid)) {
            find(&l, "undefined-category",
                 u"category " + *l.lbid +
                     u" is not a defined segment category: a till still cuts it, but the rule "
                     u"windows do not show this level");
        }
    }

    Number greatestEnd;
    for (const auto& l : rule.levels) {
        if (l.endws && (!greatestEnd || *l.endws > *greatestEnd)) greatestEnd = l.endws;
    }
    if (greatestEnd != rule.txmzws) {
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
