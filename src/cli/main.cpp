// quorvel: the analyser and the rule store from the command line, for integrators and tests.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/commands.h"
#include "cli/options.h"

using namespace quorvel::cli;

namespace {
// Help and the version are the command's output like any other: not written is a failure.
int Written(int rc) {
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (errno == EPIPE) EndOnClosedPipe();
        Complain("cannot write the output");
        return kFailure;
    }
    return rc;
}

std::vector<CLI::App*> Subcommands(CLI::App& app) {
    return app.get_subcommands([](CLI::App* s) { return !s->get_name().empty(); });
}

// CLI11 takes an unknown word for a stray argument and says only that a subcommand is required;
// the word the user typed is what they need to see.
bool UnknownSubcommand(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!arg.empty() && arg[0] == '-') continue;
        for (CLI::App* s : Subcommands(app)) {
            if (s->get_name() == arg) return false;
        }
        std::string names;
        for (CLI::App* s : Subcommands(app)) {
            if (!s->get_group().empty()) names += (names.empty() ? "" : ", ") + s->get_name();
        }
        Complain("unknown subcommand '" + arg + "'; the subcommands: " + names);
        std::cerr << "try 'quorvel help'\n";
        return true;
    }
    return false;
}

void AddHelpCommand(CLI::App& app) {
    auto topic = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("help", "Shows the help of the command or a subcommand.");
    sub->add_option("SUBCOMMAND", *topic, "the subcommand");
    sub->callback([&app, topic] {
        std::string text;
        if (topic->empty()) {
            // app.help() would show the help subcommand's own, as the one being run.
            text = app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
        } else {
            CLI::App* s = nullptr;
            for (CLI::App* c : Subcommands(app)) {
                if (c->get_name() == *topic) s = c;
            }
            if (!s) {
                Complain("unknown subcommand '" + *topic + "'");
                throw CLI::RuntimeError(kUsage);
            }
            text = s->help(app.get_name());
        }
        std::cout << text;
        if (int rc = Written(kOk); rc != kOk) throw CLI::RuntimeError(rc);
    });
}
}  // namespace

int main(int argc, char** argv) {
    // A closed pipe is seen as a write error, so that the output helper ends the command as the
    // signal would, after saying what a commit already did (see ClosedPipeNote).
    std::signal(SIGPIPE, SIG_IGN);
    InstallMessageBoxes();

    CLI::App app(
        "quorvel: cuts shop barcodes into segments by the rules in a store, and keeps "
        "that store.",
        "quorvel");
    app.set_version_flag("-V,--version", "quorvel " QUORVEL_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(std::string("Messages go to stderr as 'quorvel: TITLE: TEXT'. ") + kExitStatusTable);
    // Set as they are read, before any subcommand's work begins.
    app.add_flag_callback(
        "-q,--quiet", [] { CurrentVerbosity() = Verbosity::kQuiet; },
        "only errors on stderr: no notices, no progress");
    app.add_flag_callback(
        "-v,--verbose", [] { CurrentVerbosity() = Verbosity::kVerbose; },
        "also say which store is used and how long the work took");

    AddInitCommand(app);
    AddParseCommand(app);
    AddStoreCodeCommand(app);
    AddCheckCommand(app);
    AddExplainCommand(app);
    AddBatchCommand(app);
    AddExportCommand(app);
    AddImportCommand(app);
    AddHelpCommand(app);
    AddGenerateCommand(app);

    if (UnknownSubcommand(app, argc, argv)) return kUsage;
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
        std::cerr << "try 'quorvel help'\n";
        return kUsage;
    }
    return kOk;
}
