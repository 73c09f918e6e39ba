// quorvel batch: a day's scanned barcodes cut again by a rule, its levels read once.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "service/compiled_rule.h"
#include "store/db_helpers.h"
#include "store/module_state.h"
#include "store/text.h"

namespace quorvel::cli {

namespace {

// A line on a terminal's stderr, redrawn at most twice a second, once the input is large: a
// file of 16 MiB or more, or a stream past a million lines.
class Progress {
  public:
    explicit Progress(std::FILE* in) {
        struct stat st;
        if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode)) size_ = st.st_size;
        on_ = isatty(fileno(stderr)) && (size_ >= (16 << 20) || size_ == 0);
    }
    void operator()(const BatchCount& c) {
        if (!on_ || (size_ == 0 && c.lines < 1000000)) return;
        auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(500)) return;
        last_ = now;
        Show(c);
    }
    // The final count, on the line already shown.
    void Done(const BatchCount& c) {
        if (!shown_) return;
        Show(c);
        std::fputc('\n', stderr);
    }

  private:
    unsigned long long size_ = 0;
    bool on_ = false, shown_ = false;
    std::chrono::steady_clock::time_point last_;

    void Show(const BatchCount& c) {
        shown_ = true;
        std::fprintf(stderr, "\rquorvel batch: %llu lines",
                     static_cast<unsigned long long>(c.lines));
        if (size_ > 0) std::fprintf(stderr, ", %d%%", static_cast<int>(c.bytes * 100 / size_));
        std::fflush(stderr);
    }
};

}  // namespace

void AddBatchCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule, categories, file = "-";
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub =
        app.add_subcommand("batch", "Cuts every barcode of a file by a rule read once.");
    sub->footer(
        "Prints one line per input line, byte for byte what parse prints for the same barcode. "
        "Memory stays bounded on any input; a progress line goes to stderr when it is a terminal "
        "and the input is large. Unlike parse, it fails (exit 1) when the store cannot be opened "
        "or does not answer the level query (an empty file, a file that is no store).");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    sub->add_option("--categories", a->categories, "segment category ids joined by commas")
        ->required()
        ->type_name("LIST");
    sub->add_option("FILE", a->file, "the barcodes, one a line; - or none for standard input");
    SetRun(*sub, [a] {
        std::FILE* in = a->file == "-" ? stdin : std::fopen(a->file.c_str(), "rb");
        if (!in) {
            Complain("cannot open " + a->file + ": " + std::strerror(errno));
            return kFailure;
        }
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(in == stdin ? nullptr : in,
                                                               &std::fclose);
        // Unlike parse, which prints an empty line per barcode, a batch without its store fails
        // whole: a file of empty results is no use to anyone.
        if (!OpenConnection(TargetConnString(a->target))) return kFailure;
        CompiledRule rule(FromUtf8(a->categories), FromUtf8(a->rule));
        CloseConnection();
        // An empty file or one that is no store opens without complaint; its queries fail.
        if (rule.StoreFailed()) {
            Complain("the store cannot be read (its message is above); nothing was cut");
            return kFailure;
        }
        Progress progress(in);
        BatchCount done;
        auto report = [&](const BatchCount& c) {
            done = c;
            progress(c);
        };
        try {
            ParseLines(rule, in, stdout, report);
        } catch (const std::runtime_error& e) {
            progress.Done(done);
            Complain(std::string(e.what()) + ": " + std::strerror(errno));
            return kFailure;
        }
        progress.Done(done);
        return kOk;
    });
}

}  // namespace quorvel::cli
