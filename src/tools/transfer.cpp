#include "tools/transfer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "store/dialect.h"
#include "store/error.h"
#include "store/rule_guard.h"
#include "store/text.h"

namespace quorvel::tools {

using Json = nlohmann::ordered_json;

namespace {

constexpr char kFormat[] = "quorvel-rules";
constexpr int kVersion = 1;

Json ToJ(const Text& t) {
    return t ? Json(ToUtf8(*t)) : Json(nullptr);
}
Json ToJ(const Number& n) {
    return n ? Json(*n) : Json(nullptr);
}

// Reading a file: every value is checked, and a fault names where it is.
class Reader {
  public:
    Reader(const Json& obj, std::string path, std::initializer_list<const char*> keys)
        : obj_(obj), path_(std::move(path)) {
        if (!obj.is_object()) Fail(path_, "must be an object");
        for (const auto& item : obj.items()) {
            if (std::none_of(keys.begin(), keys.end(),
                             [&](const char* k) { return item.key() == k; }))
                Fail(path_, "has an unknown member \"" + item.key() + "\"");
        }
    }
    const Json& At(const char* key) const {
        auto it = obj_.find(key);
        if (it == obj_.end()) Fail(path_, std::string("has no \"") + key + "\"");
        return *it;
    }
    std::string Where(const char* key) const { return path_ + "." + key; }
    Text TextAt(const char* key) const {
        const Json& v = At(key);
        if (v.is_null()) return std::nullopt;
        if (!v.is_string()) Fail(Where(key), "must be a text or null");
        return FromUtf8(v.get<std::string>());
    }
    Number NumberAt(const char* key) const {
        const Json& v = At(key);
        if (v.is_null()) return std::nullopt;
        if (!v.is_number_integer() ||
            (v.is_number_unsigned() && v.get<uint64_t>() > uint64_t{INT64_MAX})) {
            Fail(Where(key), "must be a whole number or null");
        }
        return v.get<int64_t>();
    }
    const Json& ArrayAt(const char* key) const {
        const Json& v = At(key);
        if (!v.is_array()) Fail(Where(key), "must be an array");
        return v;
    }
    [[noreturn]] static void Fail(const std::string& where, const std::string& what) {
        throw FileError(where + " " + what);
    }

  private:
    const Json& obj_;
    std::string path_;
};

std::u16string Lit(const Text& t) {
    return t ? SqlQuote(*t) : u"null";
}
std::u16string Lit(const Number& n) {
    return n ? ToU16(*n) : u"null";
}

double Count(Connection& conn, const std::u16string& sql) {
    auto d = conn.Query(sql);
    return d->rows.empty() ? 0 : d->rows[0][0].ToDouble();
}

}  // namespace

RuleSet ExportRules(Connection& conn, const std::vector<std::u16string>& ids) {
    RuleSet set;
    std::vector<std::u16string> missing;
    set.rules = LoadRules(conn, ids, missing);
    if (!missing.empty()) throw DbError(err::kItemNotFound, u"There is no rule " + missing[0]);
    for (const auto& r : set.rules) {
        for (const auto& l : r.levels) {
            if (!l.lbid) continue;
            auto same = [&](const Category& c) { return SameId(c.id, *l.lbid); };
            if (std::any_of(set.categories.begin(), set.categories.end(), same)) continue;
            if (auto c = FindCategory(conn, *l.lbid)) set.categories.push_back(*c);
        }
    }
    return set;
}

std::string ToJson(const RuleSet& set) {
    Json j = {{"format", kFormat}, {"version", kVersion}};
    j["categories"] = Json::array();
    for (const auto& c : set.categories) {
        j["categories"].push_back({{"id", ToUtf8(c.id)}, {"name", ToJ(c.name)}});
    }
    j["rules"] = Json::array();
    for (const auto& r : set.rules) {
        Json levels = Json::array();
        for (const auto& l : r.levels) {
            levels.push_back({{"js", ToJ(l.js)},
                              {"lbid", ToJ(l.lbid)},
                              {"startws", ToJ(l.startws)},
                              {"endws", ToJ(l.endws)},
                              {"xsws", ToJ(l.xsws)},
                              {"bz", ToJ(l.bz)}});
        }
        j["rules"].push_back({{"gzid", ToUtf8(r.gzid)},
                              {"gzname", ToJ(r.gzname)},
                              {"dnmid", ToJ(r.dnmid)},
                              {"txmzws", ToJ(r.txmzws)},
                              {"levels", std::move(levels)}});
    }
    return j.dump(2) + "\n";
}

std::string ToJson(const std::vector<Finding>& findings) {
    Json list = Json::array();
    for (const auto& f : findings) {
        list.push_back({{"rule", ToUtf8(f.rule)},
                        {"level", ToJ(f.level)},
                        {"code", f.code},
                        {"breaks", f.breaks},
                        {"where", ToUtf8(f.where)},
                        {"problem", ToUtf8(f.problem)}});
    }
    return Json{{"findings", std::move(list)}}.dump(2) + "\n";
}

RuleSet FromJson(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 3, ..." without its tag.
        std::string what = e.what();
        auto tag = what.find("] ");
        throw FileError("not a valid JSON file: " +
                        (tag == std::string::npos ? what : what.substr(tag + 2)));
    }
    Reader top(j, "the file", {"format", "version", "categories", "rules"});
    if (top.At("format") != kFormat) Reader::Fail("the file", "is not a rules file");
    if (top.At("version") != kVersion) {
        Reader::Fail("the file", "has version " + top.At("version").dump() + ", not " +
                                     std::to_string(kVersion));
    }
    RuleSet set;
    const Json& categories = top.ArrayAt("categories");
    for (size_t i = 0; i < categories.size(); ++i) {
        Reader c(categories[i], "categories[" + std::to_string(i) + "]", {"id", "name"});
        Text id = c.TextAt("id");
        if (!id) Reader::Fail(c.Where("id"), "must be a text");
        for (const auto& o : set.categories) {
            if (SameId(o.id, *id)) Reader::Fail(c.Where("id"), "repeats category " + ToUtf8(*id));
        }
        set.categories.push_back({*id, c.TextAt("name")});
    }
    const Json& rules = top.ArrayAt("rules");
    for (size_t i = 0; i < rules.size(); ++i) {
        Reader r(rules[i], "rules[" + std::to_string(i) + "]",
                 {"gzid", "gzname", "dnmid", "txmzws", "levels"});
        StoredRule rule;
        Text id = r.TextAt("gzid");
        if (!id || id->empty()) Reader::Fail(r.Where("gzid"), "must be a rule id");
        for (const auto& o : set.rules) {
            if (SameId(o.gzid, *id)) Reader::Fail(r.Where("gzid"), "repeats rule " + ToUtf8(*id));
        }
        rule.gzid = *id;
        rule.gzname = r.TextAt("gzname");
        rule.dnmid = r.TextAt("dnmid");
        rule.txmzws = r.NumberAt("txmzws");
        const Json& levels = r.ArrayAt("levels");
        std::set<int64_t> numbers;
        for (size_t k = 0; k < levels.size(); ++k) {
            Reader l(levels[k], r.Where("levels") + "[" + std::to_string(k) + "]",
                     {"js", "lbid", "startws", "endws", "xsws", "bz"});
            StoredLevel level{l.NumberAt("js"),    l.TextAt("lbid"),   l.NumberAt("startws"),
                              l.NumberAt("endws"), l.NumberAt("xsws"), l.TextAt("bz")};
            if (!level.js || !numbers.insert(*level.js).second) {
                Reader::Fail(l.Where("js"), "must be a level number of its own");
            }
            rule.levels.push_back(std::move(level));
        }
        set.rules.push_back(std::move(rule));
    }
    return set;
}

ImportReport ImportRules(Connection& conn, const RuleSet& set, bool replace) {
    ImportReport report;
    auto& refuse = report.refusals;
    // Every rule of the file locked before anything is looked at (rule_guard.h): a second import
    // or an editor's save of one of them waits, and one that cannot wait longer writes nothing.
    std::vector<std::u16string> ids;
    for (const auto& r : set.rules) ids.push_back(r.gzid);
    BeginRuleChange(conn, ids, !set.categories.empty());
    try {
        std::vector<const Category*> added, renamed;
        for (const auto& c : set.categories) {
            auto existing = FindCategory(conn, c.id);
            if (!existing) {
                added.push_back(&c);
            } else if (existing->name != c.name) {
                if (!replace) {
                    refuse.push_back(u"category " + c.id + u": the store names it " +
                                     existing->name.value_or(u"(empty)") + u", the file " +
                                     c.name.value_or(u"(empty)") + u" (--replace renames it)");
                }
                renamed.push_back(&c);
            }
        }
        std::vector<bool> exists;
        for (const auto& r : set.rules) {
            const std::u16string id = SqlQuote(r.gzid);
            bool header = Count(conn, u"select count(*) as n from txm_gzzb where gzid=" + id) > 0;
            bool levels = Count(conn, u"select count(*) as n from txm_gzmx where gzid=" + id) > 0;
            exists.push_back(header || levels);
            if (replace) continue;
            if (header) {
                refuse.push_back(r.gzid + u": the rule exists (--replace replaces it)");
            } else if (levels) {
                refuse.push_back(r.gzid +
                                 u": the store has levels of this rule without the rule itself "
                                 u"(--replace replaces them)");
            }
        }
        // Categories the file brings count as defined.
        CategoryLookup lookup = [&](const std::u16string& id) -> std::optional<Category> {
            for (const auto& c : set.categories) {
                if (SameId(c.id, id)) return c;
            }
            return FindCategory(conn, id);
        };
        for (const auto& r : set.rules) {
            for (const auto& f : CheckRule(r, lookup)) {
                if (f.breaks) refuse.push_back(Line(f));
            }
        }
        if (!refuse.empty()) {
            conn.RollbackTrans();
            return report;
        }

        for (const Category* c : added) {
            conn.Execute(u"insert into glsx (id,name,fid) values (" + SqlQuote(c->id) + u"," +
                         Lit(c->name) + u",1006)");
            report.done.push_back(u"category " + c->id + u": added");
        }
        for (const Category* c : renamed) {
            conn.Execute(u"update glsx set name=" + Lit(c->name) + u" where fid=1006 and id=" +
                         SqlQuote(c->id));
            report.done.push_back(u"category " + c->id + u": renamed");
        }
        for (size_t i = 0; i < set.rules.size(); ++i) {
            const auto& r = set.rules[i];
            const std::u16string id = SqlQuote(r.gzid);
            if (exists[i]) {
                conn.Execute(u"delete txm_gzzb where gzid=" + id);
                conn.Execute(u"delete txm_gzmx where gzid=" + id);
            }
            conn.Execute(u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values (" + id + u"," +
                         Lit(r.gzname) + u"," + Lit(r.dnmid) + u"," + Lit(r.txmzws) + u")");
            for (const auto& l : r.levels) {
                conn.Execute(u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values (" +
                             id + u"," + Lit(l.js) + u"," + Lit(l.lbid) + u"," + Lit(l.startws) +
                             u"," + Lit(l.endws) + u"," + Lit(l.xsws) + u"," + Lit(l.bz) + u")");
            }
            report.done.push_back(r.gzid + (exists[i] ? u": replaced, " : u": imported, ") +
                                  ToU16(static_cast<long long>(r.levels.size())) + u" levels");
        }
        conn.CommitTrans();
        report.imported = true;
    } catch (...) {
        try {
            conn.RollbackTrans();
        } catch (...) {
        }
        throw;
    }
    return report;
}

}  // namespace quorvel::tools
