// quorvel export: rules with their levels and categories as JSON, to copy them to other stores.
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "store/text.h"
#include "tools/transfer.h"

namespace quorvel::cli {

void AddExportCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::vector<std::string> rules;
        std::string output = "-";
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("export", "Writes rules as JSON.");
    sub->footer(
        "Writes the rules (all, or those named), their levels and the segment categories they "
        "use, column for column, for quorvel import. The format is in docs/rules-file.md and "
        "share/quorvel/rules.schema.json.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rules, "only this rule (may be repeated)")->type_name("ID");
    sub->add_option("-o,--output", a->output, "the file to write; - or none for standard output")
        ->type_name("FILE");
    SetRun(*sub, [a] {
        Connection conn;
        OpenStore(conn, a->target);
        std::vector<std::u16string> ids;
        for (const auto& r : a->rules) ids.push_back(FromUtf8(r));
        std::string json;
        {
            Progress progress("export");
            QueryProgress queries(progress);
            json = tools::ToJson(tools::ExportRules(conn, ids));
        }
        json.pop_back();
        std::FILE* f = OpenOutput(a->output);
        LineWriter out(false, f);
        out.Line(json);
        int rc = out.Finish();
        if (f != stdout && std::fclose(f) != 0 && rc == kOk) {
            Complain("cannot write " + a->output + ": " + std::strerror(errno));
            rc = kFailure;
        }
        return rc;
    });
}

}  // namespace quorvel::cli
