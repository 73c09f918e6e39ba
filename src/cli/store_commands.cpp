// The subcommands that create a store and ask the analyser: init, parse, store-code.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "service/analyser.h"
#include "store/connection.h"
#include "store/db_helpers.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/schema.h"
#include "store/text.h"

namespace quorvel::cli {

void AddInitCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        bool demo = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("init", "Creates the rule tables.");
    sub->footer(
        "init --store creates a new store file (never overwriting one); init --conn creates "
        "the rule tables in the existing database that CS reaches, e.g. through ODBC.");
    AddStoreOptions(*sub, a->target);
    sub->add_flag("--demo", a->demo, "add the demo rules R01 and CZ18");
    SetRun(*sub, [a] {
        Resolve(a->target);
        try {
            if (!a->target.store.empty()) {
                CreateSqliteStore(a->target.store, a->demo);
            } else {
                Connection conn;
                OpenStore(conn, a->target, false);
                CreateRuleTables(conn, a->demo);
            }
        } catch (const Refusal&) {
            throw;
        } catch (...) {
            Complain(ToUtf8(DescribeCurrentException()));
            return kFailure;
        }
        LineWriter out(true);
        out.Line((a->target.store.empty() ? std::string("created the rule tables")
                                          : "created " + a->target.store) +
                 (a->demo ? " with demo data" : ""));
        // The tables are there: a second init would be refused, so say what happened.
        ClosedPipeNote() = "the rule tables were created all the same; only this report is missing";
        if (out.Finish() != kOk) {
            Complain(ClosedPipeNote());
            return kFailure;
        }
        return kOk;
    });
}

void AddParseCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule, categories;
        std::vector<std::string> barcodes;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("parse", "Cuts barcodes into segments by a rule.");
    sub->footer(
        "Prints one line per barcode, exactly as the analyser returns it. Without BARCODE, or "
        "with -, it reads barcodes from standard input, one a line (LF or CRLF; a UTF-8 "
        "byte-order mark is dropped). An unknown rule or a category the rule does not cut is "
        "named on stderr first and the command exits 1, after printing what the analyser "
        "returns all the same; a store that cannot be reached exits 3 before anything is "
        "printed, and so does a message of the component's on the way.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    sub->add_option("--categories", a->categories, "segment category ids joined by commas")
        ->required()
        ->type_name("LIST");
    sub->add_option("BARCODE", a->barcodes, "the barcodes to cut; - for standard input");
    SetRun(*sub, [a] {
        int rc = kOk;
        {
            Connection conn;
            OpenStore(conn, a->target);
            // A host's ParseBarCode says nothing of a mistyped rule or category; the command
            // says it once, then prints what a host would have got.
            try {
                RequireRule(conn, a->rule);
                RequireCategories(conn, a->rule, a->categories);
            } catch (const Refusal& r) {
                if (r.Status() != kFailure) throw;
                Complain(r.what());
                rc = r.Status();
            }
        }
        GetAnalyseBarCode analyser;
        analyser.ConnString(TargetConnString(a->target));
        std::u16string rule = FromUtf8(a->rule);
        std::u16string categories = FromUtf8(a->categories);
        LineWriter out(true);
        if (!a->barcodes.empty() && a->barcodes != std::vector<std::string>{"-"}) {
            for (const auto& b : a->barcodes) {
                if (!out.Line(analyser.ParseBarCode(categories, FromUtf8(b), rule))) break;
            }
        } else {
            LineReader in;
            std::string line;
            while (in.Next(line)) {
                if (!out.Line(analyser.ParseBarCode(categories, FromUtf8(line), rule))) break;
            }
        }
        if (out.Finish() != kOk) return kFailure;
        return BoxesShown() > 0 ? kNoStore : rc;
    });
}

void AddStoreCodeCommand(CLI::App& app) {
    struct Args {
        StoreTarget target;
        std::string rule;
    };
    auto a = std::make_shared<Args>();
    CLI::App* sub = app.add_subcommand("store-code", "Prints a rule's in-store code number.");
    AddStoreOptions(*sub, a->target);
    sub->add_option("--rule", a->rule, "the rule id")->required()->type_name("ID");
    SetRun(*sub, [a] {
        {
            Connection conn;
            OpenStore(conn, a->target);
            RequireRule(conn, a->rule);
        }
        GetAnalyseBarCode analyser;
        analyser.ConnString(TargetConnString(a->target));
        // A host has always parsed before it asks; that parse opened the shared connection.
        OpenConnection(Module().ConnString);
        LineWriter out(true);
        out.Line(analyser.StoreCode(FromUtf8(a->rule)));
        if (out.Finish() != kOk) return kFailure;
        return BoxesShown() > 0 ? kNoStore : kOk;
    });
}

}  // namespace quorvel::cli
