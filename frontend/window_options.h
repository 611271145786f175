// The command lines of the two windows, on Linux and on Windows alike.
// Without options a window opens as it was left; the options do right after
// start-up what the operator would do, for demonstrations, tests and the
// pictures in the documentation. Mistakes raise UsageError.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "frontend/run_options.h"
#include "frontend/usage_error.h"

namespace comflash {

// What both windows take beside their own options.
struct WindowActions {
    bool tickAuto = false;                  // --auto
    bool open = false;                      // --open
    std::optional<std::string> screenshot;  // --screenshot FILE
    unsigned screenshotAfter = 0;           // --screenshot-after N devices
    bool version = false;                   // --version: the tool and its built-in image
    bool help = false;
};

// The operator's window (comflash).
struct WindowOptions : WindowActions {
    std::optional<int> portIndex;  // --port COMn: index in the port list
    bool quickTurnaround = false;  // --quick-turnaround
};

// The station window (comflash-station): a run's options and the actions.
struct StationOptions {
    RunOptions run;
    WindowActions window;
};

// `arguments` without the program name and without the toolkit's own.
WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments);
StationOptions ParseStationOptions(const std::vector<std::string>& arguments);

// The --help texts; `note` ends them (what the platform adds, such as the
// toolkit's own options).
std::string WindowUsage(const std::string& note = {});
std::string StationUsage(const std::string& note = {});

}  // namespace comflash
