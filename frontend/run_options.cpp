#include "frontend/run_options.h"

#include <algorithm>

#include "frontend/usage_error.h"

namespace comflash {
namespace {

// In a build without the line database the options stay, so that --help
// says why they cannot be used and a script that gives them is refused
// instead of running alone.
std::string LineAbsent() {
    return LineBuiltIn() ? std::string() : std::string("\n(not available: ") + kLineNotBuiltIn + ")";
}

void AddPortOptions(CLI::App& app, RunOptions& options, RunOptionsStyle style) {
    app.add_option("--port", options.ports,
                   style.remembers ? "a port of the fixture (repeatable): COM1 to COM32,\n"
                                     "resolved through the port map, or a device path\n"
                                     "such as /dev/ttyUSB0; remembered for the next start"
                                   : "a port to serve (repeatable: all ports run at once,\n"
                                     "one controller each)")
        ->type_name("PORT")
        ->allow_extra_args(false);
}

void AddSerialNumberOptions(CLI::App& app, RunOptions& options) {
    app.add_flag("--write-sn", options.writeSerialNumbers,
                 "write the stored serial number into each device\n"
                 "instead of updating it, and advance the number after\n"
                 "each device");
    app.add_flag("--overwrite-sn", options.overwriteSerialNumbers,
                 "with --write-sn: write a device that already holds a\n"
                 "serial number all the same");
    app.add_flag("--verify-sn", options.verifySerialNumbers,
                 "with --write-sn: read each acknowledged record back\n"
                 "and count it written only when the device holds it");
}

void AddLineOptions(CLI::App& app, RunOptions& options, RunOptionsStyle style) {
    const std::string absent = LineAbsent();
    app.add_option("--line", options.line.address,
                   std::string("take serial numbers from the line database at\n"
                               "CONNINFO (a libpq connection string or postgresql://\n"
                               "URI) and record every device there; ") +
                       (style.remembers ? "remembered for\nthe next start (--line '' forgets it); "
                                          "default:\n$COMFLASH_LINE, else the remembered one"
                                        : "default:\n$COMFLASH_LINE") +
                       absent)
        ->type_name("CONNINFO");
    app.add_option("--station", options.line.station,
                   "this station's name on the line (default: the host\nname)" + absent)
        ->type_name("NAME");
    app.add_flag("--standalone", options.line.standalone,
                 "work without the line database even when\n"
                 "COMFLASH_LINE is set, and write serial numbers of a\n"
                 "series this station wrote through the line");
}

}  // namespace

void AddRunOptions(CLI::App& app, RunOptions& options, RunOptionsStyle style) {
    AddPortOptions(app, options, style);
    AddQuickTurnaroundOption(app, options.quickTurnaround);
    app.add_option("--record", options.record, "append one JSON line per finished device to FILE")
        ->type_name("FILE");
    AddSerialNumberOptions(app, options);
    AddLineOptions(app, options, style);
}

void AddQuickTurnaroundOption(CLI::App& app, bool& quickTurnaround) {
    app.add_flag("--quick-turnaround", quickTurnaround,
                 "at the update rate, take each reply as soon as its\n"
                 "last byte is in, not after 30 ms of silence: every\n"
                 "chunk holds one frame and each device gets its next\n"
                 "frame about 30 ms sooner. Opt-in: try a device type\n"
                 "with it before a line relies on it");
}

void CheckRunOptions(const RunOptions& options, bool portsNeeded) {
    if (!LineBuiltIn() && ((options.line.address && !options.line.address->empty()) ||
                           options.line.station)) {
        throw UsageError(std::string(options.line.address ? "--line" : "--station") + ": " +
                         kLineNotBuiltIn);
    }
    if (options.line.standalone && options.line.address && !options.line.address->empty())
        throw UsageError("--standalone works without the line database: leave out --line");
    if (options.line.station && options.line.station->empty())
        throw UsageError("--station needs a name");
    if ((options.overwriteSerialNumbers || options.verifySerialNumbers) &&
        !options.writeSerialNumbers) {
        throw UsageError("--overwrite-sn and --verify-sn go with --write-sn");
    }
    if (portsNeeded && options.ports.empty())
        throw UsageError("name at least one port with --port");
    for (auto port = options.ports.begin(); port != options.ports.end(); ++port) {
        if (port->empty())
            throw UsageError("--port needs a port name");
        // The station window keeps its ports in one setting, separated by ';'.
        if (port->find(';') != std::string::npos)
            throw UsageError("port " + *port + ": a port name holds no ';'");
        if (std::find(options.ports.begin(), port, *port) != port)
            throw UsageError("port " + *port + " is named twice");
    }
}

}  // namespace comflash
