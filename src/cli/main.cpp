// quorvel: the analyser and the rule store from the command line, for integrators and tests.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/options.h"

using namespace quorvel::cli;

namespace {
// Help and the version are the command's output like any other: not written is a failure.
int Written(int rc) {
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Complain("cannot write the output");
        return kFailure;
    }
    return rc;
}
}  // namespace

int main(int argc, char** argv) {
    // A closed pipe is a write error the output helper reports, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    CLI::App app(
        "quorvel: cuts shop barcodes into segments by the rules in a store, and keeps "
        "that store.",
        "quorvel");
    app.set_version_flag("--version", "quorvel " QUORVEL_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Messages the component shows go to stderr as 'title: prompt'. Exit status: 0 "
        "when the component returned its text (even an empty one after a message), 1 when "
        "the work or the writing of its result failed, 2 for bad usage.");

    AddInitCommand(app);
    AddParseCommand(app);
    AddStoreCodeCommand(app);
    AddCheckCommand(app);
    AddExplainCommand(app);
    AddBatchCommand(app);
    AddExportCommand(app);
    AddImportCommand(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        return e.get_exit_code();  // a subcommand's own failure, reported by itself
    } catch (const CLI::CallForHelp& e) {
        return Written(app.exit(e));
    } catch (const CLI::CallForAllHelp& e) {
        return Written(app.exit(e));
    } catch (const CLI::CallForVersion& e) {
        return Written(app.exit(e));
    } catch (const CLI::ParseError& e) {
        Complain(e.what());
        std::cerr << "try 'quorvel --help'\n";
        return kUsage;
    }
    return kOk;
}
