// The subcommands of `quorvel`, one registration function each.
#pragma once

#include <CLI/CLI.hpp>

namespace quorvel::cli {

void AddInitCommand(CLI::App& app);
void AddParseCommand(CLI::App& app);
void AddStoreCodeCommand(CLI::App& app);

}  // namespace quorvel::cli
