// quorvel _generate man|bash: the man page and the bash completion, written from the very option
// definitions the command parses with, so that neither can drift from the command.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

namespace quorvel::cli {

namespace {

std::vector<CLI::App*> Visible(CLI::App& app) {
    return app.get_subcommands(
        [](CLI::App* s) { return !s->get_name().empty() && !s->get_group().empty(); });
}

// The options of a subcommand, its option groups' too (the store's --store and --conn).
std::vector<const CLI::Option*> Options(const CLI::App& app) {
    auto shown = [](const CLI::Option* o) { return !o->get_group().empty(); };
    std::vector<const CLI::Option*> all = app.get_options(shown);
    for (const CLI::App* g :
         app.get_subcommands([](const CLI::App* s) { return s->get_name().empty(); })) {
        for (const CLI::Option* o : g->get_options(shown)) {
            if (o->get_name() != "--help") all.push_back(o);  // the group's own
        }
    }
    return all;
}

// FILE, not the validator's text that CLI11 adds to it ("FORMAT:{text,json,tsv}").
std::string TypeName(const CLI::Option* o) {
    const std::string t = o->get_type_name();
    return t.substr(0, t.find(':'));
}

// The command's description without the leading "quorvel: ".
std::string Summary(const CLI::App& app) {
    const std::string d = app.get_description(), lead = "quorvel: ";
    return d.compare(0, lead.size(), lead) == 0 ? d.substr(lead.size()) : d;
}

// Text for roff: backslashes escaped, a line never starting with a control character.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string Synopsis(const CLI::App& sub) {
    std::string s;
    for (const CLI::Option* o : Options(sub)) {
        if (o->get_name() == "--help") continue;
        std::string name = o->get_name(false, true);
        if (const auto comma = name.find(','); comma != std::string::npos) {
            name = name.substr(comma + 1);
        }
        std::string item =
            o->get_positional()
                ? o->get_name()
                : name + (o->get_type_size() != 0 && !TypeName(o).empty() ? " " + TypeName(o) : "");
        if (o->get_positional() && o->get_items_expected_max() > 1) item += "...";
        s += " " + (o->get_required() ? item : "[" + item + "]");
    }
    return s;
}

void Man(CLI::App& app) {
    std::cout << ".TH QUORVEL 1 \"\" \"quorvel " QUORVEL_VERSION "\" \"User Commands\"\n"
              << ".SH NAME\nquorvel \\- " << Roff(Summary(app)) << "\n.SH SYNOPSIS\n";
    for (CLI::App* sub : Visible(app)) {
        std::cout << ".B quorvel\n[\\-q | \\-v] \\fB" << sub->get_name() << "\\fR"
                  << Roff(Synopsis(*sub)) << "\n.br\n";
    }
    std::cout << ".SH DESCRIPTION\n"
              << Roff(Summary(app)) << "\n.PP\n"
              << Roff(app.get_footer()) << "\n.SH GLOBAL OPTIONS\n";
    for (const CLI::Option* o : Options(app)) {
        std::cout << ".TP\n.B " << Roff(o->get_name(false, true)) << "\n"
                  << Roff(o->get_description()) << "\n";
    }
    std::cout << ".SH SUBCOMMANDS\n";
    for (CLI::App* sub : Visible(app)) {
        std::cout << ".SS " << sub->get_name() << "\n" << Roff(sub->get_description()) << "\n";
        if (!sub->get_footer().empty()) std::cout << ".PP\n" << Roff(sub->get_footer()) << "\n";
        for (const CLI::Option* o : Options(*sub)) {
            std::string name = o->get_name(false, true);
            if (!o->get_positional() && o->get_type_size() != 0 && !TypeName(o).empty()) {
                name += " " + TypeName(o);
            }
            std::cout << ".TP\n.B " << Roff(name) << "\n" << Roff(o->get_description()) << "\n";
        }
    }
    std::cout << ".SH ENVIRONMENT\n.TP\n.B QUORVEL_STORE\nThe store file, when neither "
                 "\\-\\-store nor \\-\\-conn is given.\n.TP\n.B QUORVEL_CONN\nThe connection "
                 "string, when neither \\-\\-store nor \\-\\-conn is given; so that a password "
                 "need not stand in the process list.\n.SH EXIT STATUS\n"
              << Roff(kExitStatusTable) << "\n.SH FILES\n.TP\n.I share/quorvel/layouts\n"
              << "Ready rules for national scale-label layouts.\n.TP\n"
              << ".I share/quorvel/rules.schema.json\nThe JSON Schema of a rules file.\n";
}

void Bash(CLI::App& app) {
    std::string subs, global;
    for (CLI::App* sub : Visible(app)) subs += sub->get_name() + " ";
    for (const CLI::Option* o : Options(app)) {
        for (const auto& n : o->get_lnames()) global += "--" + n + " ";
        for (const auto& n : o->get_snames()) global += "-" + n + " ";
    }
    std::cout << "# bash completion for quorvel, generated from its option definitions\n"
                 "_quorvel() {\n"
                 "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                 "  local sub='' i opts\n"
                 "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
                 "    case ${COMP_WORDS[i]} in -*) ;; *) sub=${COMP_WORDS[i]}; break ;; esac\n"
                 "  done\n"
                 "  if [[ -z $sub ]]; then\n"
                 "    COMPREPLY=($(compgen -W '"
              << subs << global
              << "' -- \"$cur\"))\n"
                 "    return\n"
                 "  fi\n"
                 "  case $sub in\n";
    for (CLI::App* sub : Visible(app)) {
        std::string opts, files, formats, values;
        for (const CLI::Option* o : Options(*sub)) {
            if (o->get_positional()) continue;
            for (const auto& n : o->get_lnames()) opts += "--" + n + " ";
            for (const auto& n : o->get_snames()) opts += "-" + n + " ";
            std::string names;
            for (const auto& n : o->get_lnames()) names += (names.empty() ? "" : "|") + ("--" + n);
            for (const auto& n : o->get_snames()) names += (names.empty() ? "" : "|") + ("-" + n);
            const std::string type = TypeName(o);
            if (type == "FILE") files += (files.empty() ? "" : "|") + names;
            if (type == "FORMAT") formats += (formats.empty() ? "" : "|") + names;
            if (o->get_type_size() != 0 && type != "FILE" && type != "FORMAT") {
                values += (values.empty() ? "" : "|") + names;
            }
        }
        if (sub->get_name() == "help") {
            std::cout << "    help) COMPREPLY=($(compgen -W '" << subs
                      << "' -- \"$cur\")); return ;;\n";
            continue;
        }
        std::cout << "    " << sub->get_name() << ")\n      opts='" << opts << "'\n"
                  << "      case $prev in\n";
        if (!files.empty()) {
            std::cout << "        " << files
                      << ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
        }
        if (!formats.empty()) {
            std::cout << "        " << formats
                      << ") COMPREPLY=($(compgen -W 'text json tsv' -- \"$cur\")); return ;;\n";
        }
        if (!values.empty()) std::cout << "        " << values << ") return ;;\n";
        std::cout << "      esac ;;\n";
    }
    std::cout << "  esac\n"
                 "  if [[ $cur == -* ]]; then\n"
                 "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
                 "  else\n"
                 "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                 "  fi\n"
                 "}\n"
                 "complete -o filenames -F _quorvel quorvel\n";
}

}  // namespace

void AddGenerateCommand(CLI::App& app) {
    auto what = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("_generate", "Writes the man page or bash completion.");
    sub->group("");
    sub->add_option("WHAT", *what, "man or bash")
        ->required()
        ->check(CLI::IsMember({"man", "bash"}));
    SetRun(*sub, [&app, what] {
        if (*what == "man") {
            Man(app);
        } else {
            Bash(app);
        }
        std::cout.flush();
        if (!std::cout) {
            Complain("cannot write the output");
            return kFailure;
        }
        return kOk;
    });
}

}  // namespace quorvel::cli
