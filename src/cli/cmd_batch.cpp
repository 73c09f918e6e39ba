// quorvel batch: a day's scanned barcodes cut again by a rule, its levels read once.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "service/compiled_rule.h"
#include "store/db_helpers.h"
#include "store/module_state.h"
#include "store/text.h"

namespace quorvel::cli {

namespace {

std::string Counted(const BatchCount& c, unsigned long long size) {
    std::string s = std::to_string(c.lines) + " lines";
    if (size > 0) s += ", " + std::to_string(c.bytes * 100 / size) + "%";
    return s;
}

// json and tsv: each category's value on its own, so that a value holding a comma stays one.
int CutSeparately(const std::vector<CompiledRule>& rules, const std::vector<std::u16string>& names,
                  std::FILE* in, bool json, bool echo, Progress& progress) {
    LineWriter out(false);
    if (!json) {
        std::string head = echo ? "barcode" : "";
        for (size_t i = 0; i < names.size(); ++i) {
            head += (i || echo ? "\t" : "") + TsvField(ToUtf8(names[i]));
        }
        out.Line(head);
    }
    LineReader reader(in);
    std::string line;
    BatchCount count;
    std::string value;
    while (reader.Next(line)) {
        std::string row;
        if (json) {
            row = echo ? "{\"barcode\":" + JsonString(line) + ",\"values\":[" : "{\"values\":[";
        } else if (echo) {
            row = TsvField(line);
        }
        for (size_t i = 0; i < rules.size(); ++i) {
            value.clear();
            rules[i].AppendParsed(line, value);
            // Appended piece by piece: GCC 12 at -O3 warns of an overlap that cannot happen
            // in "literal" + a temporary.
            if (json) {
                if (i) row += ',';
                row += JsonString(value);
            } else {
                if (i || echo) row += '\t';
                row += TsvField(value);
            }
        }
        if (json) row += "]}";
        if (!out.Line(row)) break;
        ++count.lines;
        progress.Update(Counted(count, 0));
    }
    return out.Finish();
}

}  // namespace

void AddBatchCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule, categories, file = "-", format = "text";
        bool echo = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub =
        app.add_subcommand("batch", "Cuts every barcode of a file by a rule read once.");
    sub->footer(
        "Prints one line per input line, byte for byte what parse prints for the same barcode; "
        "--echo puts the barcode and a tab before it. json gives one object a line "
        "({\"barcode\", \"values\"}), tsv a header row and one column per category. An unknown "
        "rule, or a category the rule does not cut, is refused (exit 1) before anything is "
        "cut, and a store that cannot be reached or read (exit 3). Memory stays bounded on any "
        "input; a progress line goes to stderr when it is a terminal and the work lasts.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    sub->add_option("--categories", a->categories, "segment category ids joined by commas")
        ->required()
        ->type_name("LIST");
    AddFormatOption(*sub, a->format);
    sub->add_flag("--echo", a->echo, "print each barcode before its values");
    sub->add_option("FILE", a->file, "the barcodes, one a line; - or none for standard input");
    SetRun(*sub, [a] {
        {
            Connection conn;
            OpenStore(conn, a->target);
            RequireRule(conn, a->rule);
            RequireCategories(conn, a->rule, a->categories);
        }
        std::FILE* in = OpenInput(a->file);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(in == stdin ? nullptr : in,
                                                               &std::fclose);
        if (!OpenConnection(TargetConnString(a->target))) return kNoStore;
        const auto names = SplitCategories(FromUtf8(a->categories));
        std::vector<CompiledRule> rules;
        if (a->format == "text") {
            rules.emplace_back(FromUtf8(a->categories), FromUtf8(a->rule));
        } else {
            for (const auto& n : names) rules.emplace_back(n, FromUtf8(a->rule));
        }
        CloseConnection();
        for (const auto& r : rules) {
            if (r.StoreFailed()) {
                throw Refusal(kNoStore,
                              "the store cannot be read (its message is above); nothing was cut");
            }
        }
        struct stat st;
        const unsigned long long size =
            fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
        Progress progress("batch");
        if (a->format != "text") {
            return CutSeparately(rules, names, in, a->format == "json", a->echo, progress);
        }
        if (a->echo) {
            LineWriter out(false);
            LineReader reader(in);
            std::string line, cut;
            BatchCount count;
            while (reader.Next(line)) {
                cut.clear();
                rules[0].AppendParsed(line, cut);
                if (!out.Line(line + "\t" + cut)) break;
                ++count.lines;
                progress.Update(Counted(count, 0));
            }
            return out.Finish();
        }
        try {
            ParseLines(rules[0], in, stdout,
                       [&](const BatchCount& c) { progress.Update(Counted(c, size)); });
        } catch (const std::runtime_error& e) {
            if (errno == EPIPE) EndOnClosedPipe();
            Complain(std::string(e.what()) + ": " + std::strerror(errno));
            return kFailure;
        }
        return kOk;
    });
}

}  // namespace quorvel::cli
