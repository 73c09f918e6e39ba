// The subcommands of `quorvel`, one registration function each.
#pragma once

#include <CLI/CLI.hpp>

namespace quorvel::cli {

void AddInitCommand(CLI::App& app);
void AddParseCommand(CLI::App& app);
void AddStoreCodeCommand(CLI::App& app);
void AddCheckCommand(CLI::App& app);
void AddExplainCommand(CLI::App& app);
void AddBatchCommand(CLI::App& app);
void AddExportCommand(CLI::App& app);
void AddImportCommand(CLI::App& app);
// Hidden: the man page and the bash completion, written from the option definitions above.
void AddGenerateCommand(CLI::App& app);

}  // namespace quorvel::cli
