// What the command lines of comflash-cli, comflash-sim and comflash-pack
// share: CLI11 does the parsing, and every mistake comes out as one
// UsageError in the tools' own words, which each program turns into exit
// status 2.
#pragma once

#include <CLI/CLI.hpp>
#include <span>
#include <string>
#include <string_view>

#include "frontend/usage_error.h"

namespace comflash {

// Parses the arguments (without the program name) into `app`, which must
// declare every option. Returns false when the user asked for --help.
// Throws UsageError for an unknown option or argument (named between two
// `quote` characters), an option without its value ("--x needs a value") and
// a value an option refuses; an option's own callback may throw UsageError
// with its message too.
bool ParseCommandLine(CLI::App& app, std::span<const std::string_view> args, char quote = '\'');

// Help in one layout for every program: the usage lines as the program
// writes them (one per line, without "Usage:"), its description, the options by group, the footer.
// Long option descriptions break their lines with "\n" themselves (CLI11 2.1 does not wrap).
void UseCommonHelpLayout(CLI::App& app, std::string usage);

// The --help text, ending in a line break.
std::string HelpText(const CLI::App& app);

}  // namespace comflash
