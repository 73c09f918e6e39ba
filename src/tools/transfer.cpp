#include "tools/transfer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <unordered_set>

#include "store/dialect.h"
#include "store/error.h"
#include "store/rule_guard.h"
#include "store/text.h"

namespace quorvel::tools {

using Json = nlohmann::ordered_json;

namespace {

constexpr char kFormat[] = "quorvel-rules";
constexpr int kVersion = 1;
// The file, its rules and categories, a rule's levels and a level: nothing nests deeper.
constexpr int kDepth = 5;
// No text of the format is longer than 50 characters, which even as \uXXXX escapes stay far
// below this: a longer text is refused before it is decoded or copied anywhere.
constexpr size_t kLongestText = 1024;

// A member name as a message quotes it: at most 40 bytes, cut between characters.
std::string Cut(const std::string& key) {
    if (key.size() <= 40) return key;
    size_t n = 40;
    while (n > 0 && (static_cast<unsigned char>(key[n]) & 0xC0) == 0x80) --n;
    return key.substr(0, n) + "...";
}

// What the tables `quorvel init` creates hold, in characters; the editor's fields hold 16-bit
// numbers.
int TextWidth(const char* key) {
    static const std::map<std::string, int> widths = {{"gzid", 20}, {"gzname", 50}, {"dnmid", 20},
                                                      {"lbid", 20}, {"bz", 50},     {"id", 20},
                                                      {"name", 50}};
    auto it = widths.find(key);
    return it == widths.end() ? 50 : it->second;
}

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
                Fail(path_, "has an unknown member \"" + Cut(item.key()) + "\"");
        }
    }
    const Json& At(const char* key) const {
        auto it = obj_.find(key);
        if (it == obj_.end()) Fail(path_, std::string("has no \"") + key + "\"");
        return *it;
    }
    std::string Where(const char* key) const { return path_ + "." + key; }
    // A member as a message names it, with what it is in a shop's words.
    std::string Said(const char* key) const {
        static const std::map<std::string, const char*> meanings = {
            {"gzid", "the rule id"},
            {"gzname", "the rule's name"},
            {"dnmid", "the in-store code"},
            {"txmzws", "the rule's stored total length"},
            {"js", "the level number"},
            {"lbid", "the level's category"},
            {"startws", "the level's first position"},
            {"endws", "the level's last position"},
            {"xsws", "the level's decimal places"},
            {"bz", "the level's remark"},
            {"id", "the category id"},
            {"name", "the category's name"}};
        auto it = meanings.find(key);
        return Where(key) + (it == meanings.end() ? "" : std::string(" (") + it->second + ")");
    }
    Text TextAt(const char* key) const {
        const Json& v = At(key);
        if (v.is_null()) return std::nullopt;
        if (!v.is_string()) Fail(Said(key), "must be a text or null");
        std::u16string t = FromUtf8(v.get_ref<const std::string&>());
        if (t.find(char16_t{0}) != std::u16string::npos) {
            Fail(Said(key), "holds a NUL character, which no statement can carry");
        }
        if (t.size() > static_cast<size_t>(TextWidth(key))) {
            Fail(Said(key), "is " + std::to_string(t.size()) + " characters long; the store's " +
                                "column holds " + std::to_string(TextWidth(key)));
        }
        return t;
    }
    Number NumberAt(const char* key) const {
        const Json& v = At(key);
        if (v.is_null()) return std::nullopt;
        if (!v.is_number_integer()) Fail(Said(key), "must be a whole number or null");
        if ((v.is_number_unsigned() && v.get<uint64_t>() > uint64_t{INT16_MAX}) ||
            v.get<int64_t>() < INT16_MIN || v.get<int64_t>() > INT16_MAX) {
            Fail(Said(key), v.dump() + " is outside -32768 to 32767, what the editor's " +
                                "16-bit fields hold");
        }
        return v.get<int64_t>();
    }
    const Json& ArrayAt(const char* key) const {
        const Json& v = At(key);
        if (!v.is_array()) Fail(Said(key), "must be an array");
        return v;
    }
    [[noreturn]] static void Fail(const std::string& where, const std::string& what) {
        throw FileError(where + " " + what);
    }

  private:
    const Json& obj_;
    std::string path_;
};

[[noreturn]] void FailAt(size_t line, size_t column, const std::string& what) {
    throw FileError("line " + std::to_string(line) + ", column " + std::to_string(column) + " " +
                    what);
}

// Before the parser sees the text: no nesting deeper than the format has and no text longer
// than any column holds, so that neither can cost the parser's stack or memory, nor a message
// quote it.
void Prescan(std::string_view t) {
    size_t line = 1, column = 1;
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i, ++column) {
        const char c = t[i];
        if (c == '"') {
            const size_t start = i, at = column;
            for (++i; i < t.size() && t[i] != '"'; ++i) {
                if (t[i] == '\\') ++i;
            }
            const size_t bytes = std::min(i, t.size()) - start - 1;
            if (bytes > kLongestText) {
                FailAt(line, at,
                       "has a text of " + std::to_string(bytes) +
                           " bytes; no text of a rules file is longer than 50 characters");
            }
            column += i - start;
        } else if (c == '[' || c == '{') {
            if (++depth > kDepth) {
                FailAt(
                    line, column,
                    "nests deeper than a rules file does (" + std::to_string(kDepth) + " levels)");
            }
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == '\n') {
            ++line;
            column = 0;
        }
    }
}

// Refuses a member given twice in one object (the parser would keep the last silently), naming
// the object as the reader names places.
class DuplicateKeys {
  public:
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        using E = Json::parse_event_t;
        switch (event) {
            case E::object_start:
            case E::array_start:
                Element();
                stack_.push_back({event == E::object_start, {}, {}, 0});
                break;
            case E::object_end:
            case E::array_end:
                stack_.pop_back();
                break;
            case E::key: {
                auto& top = stack_.back();
                top.key = parsed.get<std::string>();
                if (!top.keys.insert(top.key).second) {
                    throw FileError(Path() + " is given twice");
                }
                break;
            }
            case E::value:
                Element();
                break;
        }
        return true;
    }

  private:
    struct Frame {
        bool object;
        std::unordered_set<std::string> keys;
        std::string key;
        size_t count;  // elements of an array so far
    };
    void Element() {
        if (!stack_.empty() && !stack_.back().object) ++stack_.back().count;
    }
    std::string Path() const {
        std::string p;
        for (size_t k = 1; k <= stack_.size(); ++k) {
            const Frame& f = stack_[k - 1];
            if (f.object) {
                p += (p.empty() ? "" : ".") + Cut(f.key);
            } else {
                p += "[" + std::to_string(f.count - 1) + "]";
            }
        }
        return p.empty() ? "the file" : p;
    }
    std::vector<Frame> stack_;
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
    // A value the file has no place for is not copied as something else.
    auto refuse = [](const std::u16string& where, const OddValues& odd) {
        if (odd.empty()) return;
        throw DbError(err::kTypeMismatch,
                      where + u": " + odd[0].first + u" holds " + Shown(odd[0].second) +
                          u", not a whole number, which a rules file cannot carry (quorvel "
                          u"check says what a till makes of it)");
    };
    // Categories as the store finds them, once per row it gives.
    std::set<std::u16string> asked, found;
    for (const auto& r : set.rules) {
        refuse(r.gzid, r.odd);
        for (const auto& l : r.levels) {
            refuse(r.gzid + u": level " + (l.js ? ToU16(*l.js) : u"?"), l.odd);
            if (!l.lbid || !asked.insert(*l.lbid).second) continue;
            auto c = FindCategory(conn, *l.lbid);
            if (c && found.insert(c->id).second) set.categories.push_back(*c);
        }
    }
    return set;
}

std::string ToJson(const RuleSet& set) {
    Json j = {{"format", kFormat}, {"version", kVersion}};
    if (!set.description.empty()) j["description"] = set.description;
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
    Prescan(text);
    try {
        j = Json::parse(text.begin(), text.end(), DuplicateKeys());
    } catch (const Json::exception& e) {
        // A parse error or a number too large for a double ("number overflow parsing ..."):
        // "[json.exception.parse_error.101] parse error at line 3, ..." without its tag, and
        // without more than a little of the text it last read.
        std::string what = e.what();
        auto tag = what.find("] ");
        if (tag != std::string::npos) what = what.substr(tag + 2);
        if (what.size() > 200) what = what.substr(0, 200) + "...";
        throw FileError("not a valid JSON file: " + what);
    }
    Reader top(j, "the file", {"format", "version", "description", "categories", "rules"});
    if (top.At("format") != kFormat) Reader::Fail("the file", "is not a rules file");
    if (top.At("version") != kVersion) {
        Reader::Fail("the file", "has version " + top.At("version").dump() + ", not " +
                                     std::to_string(kVersion));
    }
    RuleSet set;
    if (j.contains("description")) {
        const Json& lines = top.ArrayAt("description");
        for (size_t i = 0; i < lines.size(); ++i) {
            if (!lines[i].is_string()) {
                Reader::Fail("description[" + std::to_string(i) + "]", "must be a text");
            }
            set.description.push_back(lines[i].get<std::string>());
        }
    }
    // Ids written alike; ids only the store takes for one are the import's to refuse.
    std::unordered_set<std::u16string> ids;
    const Json& categories = top.ArrayAt("categories");
    for (size_t i = 0; i < categories.size(); ++i) {
        Reader c(categories[i], "categories[" + std::to_string(i) + "]", {"id", "name"});
        Text id = c.TextAt("id");
        if (!id) Reader::Fail(c.Said("id"), "must be a text");
        if (!ids.insert(*id).second) {
            Reader::Fail(c.Said("id"), "repeats category " + ToUtf8(*id));
        }
        set.categories.push_back({*id, c.TextAt("name")});
    }
    ids.clear();
    const Json& rules = top.ArrayAt("rules");
    for (size_t i = 0; i < rules.size(); ++i) {
        Reader r(rules[i], "rules[" + std::to_string(i) + "]",
                 {"gzid", "gzname", "dnmid", "txmzws", "levels"});
        StoredRule rule;
        Text id = r.TextAt("gzid");
        if (!id || id->empty()) Reader::Fail(r.Said("gzid"), "must be a rule id");
        if (!ids.insert(*id).second) Reader::Fail(r.Said("gzid"), "repeats rule " + ToUtf8(*id));
        rule.gzid = *id;
        rule.gzname = r.TextAt("gzname");
        rule.dnmid = r.TextAt("dnmid");
        rule.txmzws = r.NumberAt("txmzws");
        const Json& levels = r.ArrayAt("levels");
        std::set<int64_t> numbers;
        for (size_t k = 0; k < levels.size(); ++k) {
            Reader l(levels[k], r.Where("levels") + "[" + std::to_string(k) + "]",
                     {"js", "lbid", "startws", "endws", "xsws", "bz"});
            StoredLevel level;
            level.js = l.NumberAt("js");
            level.lbid = l.TextAt("lbid");
            level.startws = l.NumberAt("startws");
            level.endws = l.NumberAt("endws");
            level.xsws = l.NumberAt("xsws");
            level.bz = l.TextAt("bz");
            if (!level.js || !numbers.insert(*level.js).second) {
                Reader::Fail(l.Said("js"), "must be a level number of its own");
            }
            auto bare = [](const Number& n) { return FieldValue::I64(n.value_or(0)); };
            ReadAsTill(level, bare(level.startws), bare(level.endws), bare(level.xsws), rule.dnmid);
            rule.levels.push_back(std::move(level));
        }
        set.rules.push_back(std::move(rule));
    }
    return set;
}

ImportReport ImportRules(Connection& conn, const RuleSet& set, bool replace) {
    return ImportRules(conn, set, ImportOptions{replace, replace, false});
}

ImportReport ImportRules(Connection& conn, const RuleSet& set, const ImportOptions& options) {
    const bool replace = options.replace;
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
                if (!options.rename) {
                    refuse.push_back(u"category " + c.id + u": the store names it " +
                                     existing->name.value_or(u"(empty)") + u", the file " +
                                     c.name.value_or(u"(empty)") +
                                     u" (--rename-categories renames it)");
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
        if (!refuse.empty()) {
            conn.RollbackTrans();
            return report;
        }

        for (const Category* c : added) {
            // Two categories of the file that the store takes for one.
            if (auto same = FindCategory(conn, c->id)) {
                refuse.push_back(u"category " + c->id + u": the store takes it for category " +
                                 same->id + u" of the same file");
                continue;
            }
            conn.Execute(u"insert into glsx (id,name,fid) values (" + SqlQuote(c->id) + u"," +
                         Lit(c->name) + u",1006)");
            report.done.push_back(u"category " + c->id + u": added");
            report.entries.push_back({true, c->id, "added", 0});
        }
        for (const Category* c : renamed) {
            conn.Execute(u"update glsx set name=" + Lit(c->name) + u" where fid=1006 and id=" +
                         SqlQuote(c->id));
            report.done.push_back(u"category " + c->id + u": renamed");
            report.entries.push_back({true, c->id, "renamed", 0});
        }
        std::vector<std::u16string> ids;
        for (size_t i = 0; i < set.rules.size(); ++i) {
            const auto& r = set.rules[i];
            const std::u16string id = SqlQuote(r.gzid);
            if (exists[i]) {
                conn.Execute(u"delete txm_gzzb where gzid=" + id);
                conn.Execute(u"delete txm_gzmx where gzid=" + id);
            }
            auto same = conn.Query(u"select gzid from txm_gzzb where gzid=" + id);
            if (!same->rows.empty()) {
                refuse.push_back(r.gzid + u": the store takes it for rule " +
                                 FieldText(same->rows[0][0]) + u" of the same file");
                continue;
            }
            conn.Execute(u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values (" + id + u"," +
                         Lit(r.gzname) + u"," + Lit(r.dnmid) + u"," + Lit(r.txmzws) + u")");
            for (const auto& l : r.levels) {
                conn.Execute(u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values (" +
                             id + u"," + Lit(l.js) + u"," + Lit(l.lbid) + u"," + Lit(l.startws) +
                             u"," + Lit(l.endws) + u"," + Lit(l.xsws) + u"," + Lit(l.bz) + u")");
            }
            ids.push_back(r.gzid);
            report.done.push_back(r.gzid + (exists[i] ? u": replaced, " : u": imported, ") +
                                  ToU16(static_cast<long long>(r.levels.size())) + u" levels");
            report.entries.push_back({false, r.gzid, exists[i] ? "replaced" : "imported",
                                      static_cast<int64_t>(r.levels.size())});
        }
        // The rules as the store now holds them, checked as `quorvel check` checks them: the
        // store compares the ids, and finds the categories the file brought.
        if (refuse.empty() && !ids.empty()) {
            std::vector<std::u16string> missing;
            auto lookup = StoreCategories(conn);
            for (const auto& r : LoadRules(conn, ids, missing)) {
                for (const auto& f : CheckRule(r, lookup)) {
                    if (f.breaks) refuse.push_back(Line(f));
                }
            }
            for (const auto& m : missing) refuse.push_back(m + u": the store cannot find it again");
        }
        if (!refuse.empty()) {
            report.done.clear();
            report.entries.clear();
            conn.RollbackTrans();
            return report;
        }
        if (options.dryRun) {
            conn.RollbackTrans();
        } else {
            conn.CommitTrans();
        }
        report.imported = true;
    } catch (const DbError& e) {
        const std::u16string why = DescribeChangeFailure(conn, ids);
        try {
            conn.RollbackTrans();
        } catch (...) {
        }
        throw DbError(e.Number(), why);
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
