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

namespace {
constexpr int kUnreadable = 3;  // apart from 1, so that scripts tell broken rules from no store
}

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
        "the store cannot be read.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rules, "only this rule (may be repeated)")->type_name("ID");
    sub->add_option("--format", a->format, "text, or json for machines")
        ->check(CLI::IsMember({"text", "json"}));
    sub->add_flag("--strict", a->strict,
                  "notes that tills never meet fail the check too (exit status 1)");
    SetRun(*sub, [a] {
        std::vector<tools::Finding> findings;
        try {
            Connection conn;
            conn.Open(TargetConnString(a->target));
            std::vector<std::u16string> ids, missing;
            for (const auto& r : a->rules) ids.push_back(FromUtf8(r));
            auto rules = tools::LoadRules(conn, ids, missing);
            for (const auto& m : missing) {
                findings.push_back(
                    {m, std::nullopt, "no-rule", true, u"", u"there is no such rule"});
            }
            auto categories = tools::StoreCategories(conn);
            for (const auto& r : rules) {
                for (auto& f : tools::CheckRule(r, categories)) findings.push_back(std::move(f));
            }
        } catch (...) {
            Complain(ToUtf8(DescribeCurrentException()));
            return kUnreadable;
        }
        LineWriter out(false);
        if (a->format == "json") {
            std::string json = tools::ToJson(findings);
            json.pop_back();
            out.Line(json);
        } else {
            for (const auto& f : findings) {
                if (!out.Line(tools::Line(f))) break;
            }
        }
        int rc = out.Finish();
        const bool fails =
            std::any_of(findings.begin(), findings.end(),
                        [&](const tools::Finding& f) { return f.breaks || a->strict; });
        return rc != kOk ? rc : fails ? kFailure : kOk;
    });
}

}  // namespace quorvel::cli
