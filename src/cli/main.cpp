// quorvel: the analyser and the rule store from the command line, for integrators and tests.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "service/analyser.h"
#include "store/db_helpers.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/schema.h"
#include "store/text.h"

using namespace quorvel;

namespace {

constexpr int kUsage = 2;

const char kHelp[] =
    "usage:\n"
    "  quorvel init (--store FILE | --conn CS) [--demo]\n"
    "  quorvel parse (--store FILE | --conn CS) --rule ID --categories LIST [BARCODE...]\n"
    "  quorvel store-code (--store FILE | --conn CS) --rule ID\n"
    "\n"
    "parse prints one line per barcode, exactly as the analyser returns it; without BARCODE it\n"
    "reads barcodes from standard input, one a line. Messages the component shows go to stderr\n"
    "as 'title: prompt'.\n"
    "\n"
    "init --store creates a new store file; init --conn creates the rule tables (and with --demo\n"
    "the demo rules) in the existing database that CS reaches, e.g. through ODBC.\n";

int Usage(const std::string& reason) {
    std::cerr << "quorvel: " << reason << "\n"
              << "try 'quorvel --help'\n";
    return kUsage;
}

struct Args {
    std::string command;
    std::string store;
    std::string conn;
    std::string rule;
    std::string categories;
    bool haveRule = false, haveCategories = false, haveConn = false, demo = false;
    std::vector<std::string> positional;
};

// Returns an empty string on success, else the reason for a usage error.
std::string ParseArgs(int argc, char** argv, Args& a) {
    if (argc < 2) return "no command given";
    a.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) -> bool {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (arg == "--store") {
            if (!value(a.store)) return "--store needs a file";
        } else if (arg == "--conn") {
            if (!value(a.conn)) return "--conn needs a connection string";
            a.haveConn = true;
        } else if (arg == "--rule") {
            if (!value(a.rule)) return "--rule needs a rule id";
            a.haveRule = true;
        } else if (arg == "--categories") {
            if (!value(a.categories)) return "--categories needs a list";
            a.haveCategories = true;
        } else if (arg == "--demo") {
            a.demo = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i) a.positional.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return "unknown option " + arg;
        } else {
            a.positional.push_back(arg);
        }
    }
    return "";
}

// "--store FILE" is short for the embedded provider's connection string.
std::string ConnectionString(const Args& a, std::string& reason) {
    if (!a.store.empty() && a.haveConn) {
        reason = "give either --store or --conn, not both";
        return "";
    }
    if (a.haveConn) return a.conn;
    if (a.store.empty()) {
        reason = "--store FILE or --conn CS is required";
        return "";
    }
    std::string quoted = "\"";
    for (char c : a.store) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return "Provider=SQLite;Data Source=" + quoted + "\"";
}

void PrintLine(const std::u16string& text) {
    std::string s = ToUtf8(text);
    s += '\n';
    std::fwrite(s.data(), 1, s.size(), stdout);
}

// The rule tables (and the demo rules) in an existing database, in the dialect it speaks. It all
// happens in one transaction, so a database that has the tables already is left as it was.
int InitConnection(const Args& a) {
    try {
        Connection conn;
        conn.Open(FromUtf8(a.conn));
        Dialect dialect = conn.DatabaseDialect().value_or(Dialect::SqlServer);
        conn.BeginTrans();
        try {
            CreateSchema(conn, dialect);
            if (a.demo) {
                for (const auto& s : DemoStatements()) conn.Execute(s);
            }
            conn.CommitTrans();
        } catch (...) {
            conn.RollbackTrans();
            throw;
        }
    } catch (...) {
        std::cerr << "quorvel: " << ToUtf8(DescribeCurrentException()) << "\n";
        return 1;
    }
    std::cout << "created the rule tables" << (a.demo ? " with demo data" : "") << "\n";
    return 0;
}

int Init(const Args& a) {
    if (!a.positional.empty()) return Usage("unexpected argument " + a.positional.front());
    if (!a.store.empty() && a.haveConn) return Usage("give either --store or --conn, not both");
    if (a.haveConn) return InitConnection(a);
    if (a.store.empty()) return Usage("init needs --store FILE or --conn CS");
    try {
        CreateSqliteStore(a.store, a.demo);
    } catch (...) {
        std::cerr << "quorvel: " << ToUtf8(DescribeCurrentException()) << "\n";
        return 1;
    }
    std::cout << "created " << a.store << (a.demo ? " with demo data" : "") << "\n";
    return 0;
}

int Parse(const Args& a) {
    std::string reason;
    std::string cs = ConnectionString(a, reason);
    if (!reason.empty()) return Usage(reason);
    if (!a.haveRule) return Usage("parse needs --rule ID");
    if (!a.haveCategories) return Usage("parse needs --categories LIST");
    GetAnalyseBarCode analyser;
    analyser.ConnString(FromUtf8(cs));
    std::u16string rule = FromUtf8(a.rule);
    std::u16string categories = FromUtf8(a.categories);
    if (!a.positional.empty()) {
        for (const auto& b : a.positional)
            PrintLine(analyser.ParseBarCode(categories, FromUtf8(b), rule));
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            PrintLine(analyser.ParseBarCode(categories, FromUtf8(line), rule));
            std::fflush(stdout);
        }
    }
    return 0;
}

int StoreCodeCommand(const Args& a) {
    std::string reason;
    std::string cs = ConnectionString(a, reason);
    if (!reason.empty()) return Usage(reason);
    if (!a.haveRule) return Usage("store-code needs --rule ID");
    if (!a.positional.empty()) return Usage("unexpected argument " + a.positional.front());
    GetAnalyseBarCode analyser;
    analyser.ConnString(FromUtf8(cs));
    // A host has always parsed before it asks; that parse opened the shared connection.
    OpenConnection(Module().ConnString);
    PrintLine(analyser.StoreCode(FromUtf8(a.rule)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kHelp;
        return 0;
    }
    Args a;
    std::string reason = ParseArgs(argc, argv, a);
    if (!reason.empty()) return Usage(reason);
    if (a.command == "init") return Init(a);
    if (a.command == "parse") return Parse(a);
    if (a.command == "store-code") return StoreCodeCommand(a);
    return Usage("unknown command " + a.command);
}
