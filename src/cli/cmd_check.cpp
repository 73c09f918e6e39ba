// quorvel check: the rules a till can never cut correctly, before a till meets them.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/error.h"
#include "store/text.h"
#include "tools/rules.h"
#include "tools/transfer.h"

namespace quorvel::cli {

void AddCheckCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::vector<std::string> rules;
        std::string format = "text";
        bool strict = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("check", "Finds the rules a till can never cut correctly.");
    sub->footer(
        "Prints each problem as 'RULE: problem', saying what a till would see; a value a till "
        "cannot use is a problem at its level, and every other rule is still checked. Exit "
        "status: 0 when there is none or only notes that tills never meet (the stored total, a "
        "fraction a till rounds), 1 when there are problems (notes too with --strict), 3 when "
        "the store cannot be read. Every finding code is in docs/command.md.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rules, "only this rule (may be repeated)")->type_name("ID");
    AddFormatOption(*sub, a->format);
    sub->add_flag("--strict", a->strict,
                  "notes that tills never meet fail the check too (exit status 1)");
    SetRun(*sub, [a] {
        std::vector<tools::Finding> findings;
        Connection conn;
        OpenStore(conn, a->target);
        try {
            Progress progress("check");
            std::vector<std::u16string> ids, missing;
            for (const auto& r : a->rules) ids.push_back(FromUtf8(r));
            std::vector<tools::StoredRule> rules;
            {
                QueryProgress queries(progress);
                rules = tools::LoadRules(conn, ids, missing);
            }
            for (const auto& m : missing) {
                findings.push_back(
                    {m, std::nullopt, "no-rule", true, u"", u"there is no such rule"});
            }
            auto categories = tools::StoreCategories(conn);
            for (size_t i = 0; i < rules.size(); ++i) {
                progress.Update(std::to_string(i) + " of " + std::to_string(rules.size()) +
                                " rules");
                for (auto& f : tools::CheckRule(rules[i], categories)) {
                    findings.push_back(std::move(f));
                }
            }
        } catch (const DbError& e) {
            throw Refusal(kNoStore, std::string("the store cannot be read: ") + e.what());
        }
        LineWriter out(false);
        if (a->format == "json") {
            std::string json = tools::ToJson(findings);
            json.pop_back();
            out.Line(json);
        } else {
            if (a->format == "tsv") out.Line("rule\tlevel\tcode\tbreaks\twhere\tproblem");
            for (const auto& f : findings) {
                const bool written =
                    a->format == "tsv"
                        ? out.Line(TsvField(ToUtf8(f.rule)) + "\t" +
                                   (f.level ? std::to_string(*f.level) : "") + "\t" + f.code +
                                   "\t" + (f.breaks ? "yes" : "no") + "\t" +
                                   TsvField(ToUtf8(f.where)) + "\t" + TsvField(ToUtf8(f.problem)))
                        : out.Line(tools::Line(f));
                if (!written) break;
            }
        }
        int rc = out.Finish();
        const bool fails =
            std::any_of(findings.begin(), findings.end(),
                        [&](const tools::Finding& f) { return f.breaks || a->strict; });
        Detail(std::to_string(findings.size()) + " findings");
        return rc != kOk ? rc : fails ? kFailure : kOk;
    });
}

}  // namespace quorvel::cli
