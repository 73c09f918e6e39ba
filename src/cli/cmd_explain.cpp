// quorvel explain: why a barcode parses as it does under a rule.
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/text.h"
#include "tools/explain.h"
#include "tools/label_digits.h"

namespace quorvel::cli {

namespace {

// What makes a label wrong for its rule although a till cuts it all the same.
std::vector<std::string> Faults(const tools::StoredRule& rule, const std::u16string& barcode) {
    std::vector<std::string> faults;
    const std::u16string code = rule.dnmid.value_or(u"");
    if (barcode.compare(0, code.size(), code) != 0) {
        faults.push_back("does not begin with the in-store code " + ToUtf8(code));
    }
    if (const auto c = tools::TestCheckDigit(barcode); c.kind && !c.valid) {
        faults.push_back("not a valid " + ToUtf8(c.kind) + " check digit");
    }
    for (const auto& v : tools::VerifierChecks(rule, barcode)) {
        if (v.expected >= 0 && !v.Valid()) {
            faults.push_back("not a valid verifier at position " + std::to_string(v.position));
        }
    }
    return faults;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + JsonString(items[i]);
    return out + "]";
}

}  // namespace

void AddExplainCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule, format = "text";
        std::vector<std::string> barcodes;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("explain", "Shows how a rule cuts a barcode.");
    sub->footer(
        "Prints the rule's levels in order: category, positions after the in-store code, the "
        "barcode characters they cover, the characters cut and the value with its point, with "
        "notes where the barcode is too short or the rule has problems, or where a single "
        "position left before a level of 4 or 5 digits holds a valid or invalid price "
        "verifier digit for it; and whether the last digit is a valid EAN-13, UPC-A or EAN-8 "
        "check digit. Each level is read as a till reads it, from the row the store gives the "
        "analyser's own query; a level a till never gets (another level of its category comes "
        "first) shows '-' as its value. Exits 1 when a label does not begin with the rule's "
        "in-store code, or its check digit or a verifier digit is wrong. json gives one object "
        "a line per barcode, tsv one row per level.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    AddFormatOption(*sub, a->format);
    sub->add_option("BARCODE", a->barcodes, "the barcodes; - reads them from standard input")
        ->required();
    SetRun(*sub, [a] {
        Connection conn;
        OpenStore(conn, a->target);
        RequireRule(conn, a->rule);
        std::vector<std::u16string> missing;
        auto rules = tools::LoadRules(conn, {FromUtf8(a->rule)}, missing);
        if (rules.empty()) throw Refusal(kFailure, "there is no rule " + a->rule);
        // The row a till gets for each category, by the analyser's own query.
        tools::AskTill(conn, rules[0]);
        const auto categories = tools::StoreCategories(conn);
        std::vector<std::string> barcodes;
        for (const auto& b : a->barcodes) {
            if (b != "-") {
                barcodes.push_back(b);
                continue;
            }
            LineReader in;
            std::string line;
            while (in.Next(line)) barcodes.push_back(line);
        }
        LineWriter out(false);
        if (a->format == "tsv") {
            out.Line("barcode\tlevel\tcategory\tpositions\tcharacters\tcut\tvalue\tnote");
        }
        int faulty = 0;
        for (size_t i = 0; i < barcodes.size(); ++i) {
            const std::u16string barcode = FromUtf8(barcodes[i]);
            const auto e = tools::Explain(rules[0], categories, barcode);
            const auto faults = Faults(rules[0], barcode);
            if (!faults.empty()) ++faulty;
            if (a->format == "json") {
                std::string levels;
                for (const auto& r : e.rows) {
                    levels += std::string(levels.empty() ? "" : ",") +
                              "{\"level\":" + JsonString(ToUtf8(r.level)) +
                              ",\"category\":" + JsonString(ToUtf8(r.category)) +
                              ",\"positions\":" + JsonString(ToUtf8(r.positions)) +
                              ",\"characters\":" + JsonString(ToUtf8(r.characters)) +
                              ",\"cut\":" + JsonString(ToUtf8(r.cut)) +
                              ",\"value\":" + JsonString(ToUtf8(r.value)) +
                              ",\"note\":" + JsonString(ToUtf8(r.note)) + "}";
                }
                std::vector<std::string> head;
                for (const auto& h : e.head) head.push_back(ToUtf8(h));
                out.Line("{\"rule\":" + JsonString(a->rule) +
                         ",\"barcode\":" + JsonString(barcodes[i]) + ",\"valid\":" +
                         (faults.empty() ? "true" : "false") + ",\"faults\":" + JsonList(faults) +
                         ",\"head\":" + JsonList(head) + ",\"levels\":[" + levels +
                         "],\"checkDigit\":" + JsonString(ToUtf8(e.checkDigit)) + "}");
            } else if (a->format == "tsv") {
                for (const auto& r : e.rows) {
                    std::string row = TsvField(barcodes[i]);
                    for (const auto* f : {&r.level, &r.category, &r.positions, &r.characters,
                                          &r.cut, &r.value, &r.note}) {
                        row += '\t';
                        row += TsvField(ToUtf8(*f));
                    }
                    out.Line(row);
                }
            } else {
                std::u16string text = tools::Format(e);
                text.pop_back();
                if (i > 0) out.Line(std::string());
                out.Line(text);
            }
        }
        if (out.Finish() != kOk) return kFailure;
        if (faulty > 0) {
            Notice(std::to_string(faulty) + " of " + std::to_string(barcodes.size()) +
                   " labels are not valid for rule " + a->rule);
        }
        return faulty > 0 ? kFailure : kOk;
    });
}

}  // namespace quorvel::cli
