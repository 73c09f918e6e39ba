// quorvel import: rules from a JSON file into a store, all of them or none.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/text.h"
#include "tools/transfer.h"

namespace quorvel::cli {

void AddImportCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string file;
        bool replace = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("import", "Adds the rules of a JSON file to a store.");
    sub->footer(
        "Imports every rule of the file in one transaction, or none: an existing rule id, a "
        "category the store names otherwise, or a rule that check finds broken refuses the "
        "whole file, and each is listed. --replace replaces existing rules whole and renames "
        "categories. A malformed or truncated file changes nothing, nor does one with a member "
        "given twice, nesting deeper than the format, a text longer than its column or holding "
        "NUL, or a number outside the editor's 16-bit fields; each is named with where and why.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("FILE", a->file, "the file quorvel export wrote")->required();
    sub->add_flag("--replace", a->replace, "replace rules that exist, whole");
    SetRun(*sub, [a] {
        std::ifstream in(a->file, std::ios::binary);
        const int opened = errno;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || in.bad()) {
            Complain("cannot read " + a->file + ": " +
                     std::strerror(in.is_open() ? errno : opened) + "; nothing was imported");
            return kFailure;
        }
        tools::RuleSet set;
        try {
            set = tools::FromJson(text);
        } catch (const tools::FileError& e) {
            Complain(a->file + ": " + e.what() + "; nothing was imported");
            return kFailure;
        }
        Connection conn;
        conn.Open(TargetConnString(a->target));
        tools::ImportReport report = tools::ImportRules(conn, set, a->replace);
        if (!report.imported) {
            for (const auto& r : report.refusals) Complain(ToUtf8(r));
            Complain(a->file + ": nothing was imported");
            return kFailure;
        }
        LineWriter out(false);
        for (const auto& d : report.done) out.Line(d);
        if (out.Finish() != kOk) {
            // Committed already: a retry would find the rules there.
            Complain(a->file +
                     ": the rules were imported all the same; only this report is "
                     "missing (a second import needs --replace)");
            return kFailure;
        }
        return kOk;
    });
}

}  // namespace quorvel::cli
