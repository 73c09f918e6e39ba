// quorvel explain: why a barcode parses as it does under a rule.
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/text.h"
#include "tools/explain.h"

namespace quorvel::cli {

void AddExplainCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule, barcode;
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
        "first) shows '-' as its value.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    sub->add_option("BARCODE", a->barcode, "the barcode")->required();
    SetRun(*sub, [a] {
        Connection conn;
        conn.Open(TargetConnString(a->target));
        std::vector<std::u16string> missing;
        auto rules = tools::LoadRules(conn, {FromUtf8(a->rule)}, missing);
        if (rules.empty()) {
            Complain("there is no rule " + a->rule);
            return kFailure;
        }
        // The row a till gets for each category, by the analyser's own query.
        tools::AskTill(conn, rules[0]);
        std::u16string text = tools::Format(
            tools::Explain(rules[0], tools::StoreCategories(conn), FromUtf8(a->barcode)));
        text.pop_back();
        LineWriter out(false);
        out.Line(text);
        return out.Finish();
    });
}

}  // namespace quorvel::cli
