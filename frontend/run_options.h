// What every front end that serves ports is asked for on its command line:
// the ports, the mode, the serial-number rules, the record and the line
// database. Declared here once for comflash-cli, comflash-station and the
// Windows windows: an option they share is added in this file only.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "frontend/line_link.h"

namespace comflash {

struct RunOptions {
    std::vector<std::string> ports;               // COMn or device paths, in order
    bool writeSerialNumbers = false;              // --write-sn
    bool overwriteSerialNumbers = false;          // --overwrite-sn
    bool verifySerialNumbers = false;             // --verify-sn
    bool quickTurnaround = false;                 // --quick-turnaround
    std::optional<std::filesystem::path> record;  // --record FILE
    LineChoice line;                              // --line, --station, --standalone
};

// How a program keeps what it is given, for the help texts.
struct RunOptionsStyle {
    // The station window remembers its ports and its line for the next start.
    bool remembers = false;
};

// Declares the options on `app`, in the order --help lists them.
void AddRunOptions(CLI::App& app, RunOptions& options, RunOptionsStyle style = {});

// --quick-turnaround alone, for the window, which serves one port.
void AddQuickTurnaroundOption(CLI::App& app, bool& quickTurnaround);

// After parsing: refuses what cannot go together, and a port named twice or
// not at all (UsageError). `portsNeeded`: the program cannot run without one.
void CheckRunOptions(const RunOptions& options, bool portsNeeded);

}  // namespace comflash
