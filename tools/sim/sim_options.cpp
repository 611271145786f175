#include "tools/sim/sim_options.h"

#include <charconv>

#include "frontend/command_line.h"
#include "tools/sim/line_speed.h"

namespace comflash::sim {
namespace {

constexpr std::uint64_t kLongestDelayMs = 24ULL * 3600 * 1000;
constexpr std::uint64_t kShortestHelloIntervalMs = 50;  // closer hellos merge into one host chunk

std::vector<std::uint8_t> ParseVersions(std::string_view text) {
    std::vector<std::uint8_t> versions;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        if (item.size() != 1 || item[0] < '1' || item[0] > '9') {
            throw SimOptionError(
                "--version takes version digits 1 to 9, one or a list such as 3,1,2 (a hello of "
                "version 0 is the fault hello-version0)");
        }
        versions.push_back(static_cast<std::uint8_t>(item[0] - '0'));
        if (comma == std::string_view::npos)
            return versions;
        text.remove_prefix(comma + 1);
    }
}

void CheckConsistency(const SimOptions& options) {
    if (options.link && options.attach) {
        throw SimOptionError(
            "--link and --attach exclude each other: --attach serves a path "
            "that already exists");
    }
    if (options.devices != 0 && !options.faults.empty() &&
        options.faults.rbegin()->first > options.devices) {
        throw SimOptionError("--fault names device " +
                             std::to_string(options.faults.rbegin()->first) + " but --devices is " +
                             std::to_string(options.devices));
    }
    if (options.showPlan && options.devices == 0) {
        throw SimOptionError("--show-plan needs --devices N to know how many devices to list");
    }
    if (options.seed && !options.randomFaults) {
        throw SimOptionError("--seed only applies to --faults random");
    }
    if (options.helloInterval.count() < static_cast<long long>(kShortestHelloIntervalMs)) {
        throw SimOptionError(
            "--hello-interval must be at least 50 ms: closer hellos arrive at "
            "the host as one chunk");
    }
}

void AddFault(SimOptions& options, const std::string& text) {
    try {
        const DeviceFault chosen = ParseDeviceFault(text);
        if (!options.faults.emplace(chosen.device, chosen.fault).second) {
            throw SimOptionError("--fault: device " + std::to_string(chosen.device) +
                                 " already has a fault; one fault per device");
        }
    } catch (const FaultSyntaxError& error) {
        throw SimOptionError("--fault " + text + ": " + error.what());
    }
}

// "N:TEXT": device N starts with the serial number TEXT in its record.
void AddDeviceSerial(SimOptions& options, const std::string& text) {
    const auto colon = text.find(':');
    unsigned device = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + colon, device);
    if (colon == std::string::npos || error != std::errc() || end != text.data() + colon ||
        device == 0 || colon + 1 == text.size()) {
        throw SimOptionError("--device-serial takes N:TEXT, for example 2:QA000123");
    }
    if (!options.deviceSerials.emplace(device, text.substr(colon + 1)).second) {
        throw SimOptionError("--device-serial: device " + std::to_string(device) +
                             " already has a serial number");
    }
}

// A time in milliseconds, whole and at most a day.
void AddMillisOption(CLI::App& app, const char* name, Millis& target, const char* help,
                     const char* group) {
    app.add_option_function<std::uint64_t>(
           name, [&target](std::uint64_t value) { target = Millis(value); }, help)
        ->type_name("MS")
        ->check(CLI::Range(std::uint64_t{0}, kLongestDelayMs).description(""))
        ->group(group);
}

// Every option of comflash-sim, in the order --help lists them.
void DeclareOptions(CLI::App& app, SimOptions& options, std::vector<std::string>& faults,
                    std::string& versions) {
    app.add_option("--link", options.link,
                   "keep PATH a symbolic link to the port (also after it\n"
                   "vanishes and returns; removed at exit)")
        ->type_name("PATH")
        ->group("Line");
    app.add_option("--attach", options.attach,
                   "serve an existing serial device instead of a new\n"
                   "pseudo-terminal (no open or speed checks possible)")
        ->type_name("PATH")
        ->group("Line");
    app.add_option_function<int>(
           "--update-baud",
           [&options](int baud) {
               if (!IsSupportedBaud(baud)) {
                   throw SimOptionError(
                       "--update-baud " + std::to_string(baud) +
                       " is not a standard rate (for example 9600, 38400, 115200)");
               }
               options.updateBaud = baud;
           },
           "speed of the update phase (default 38400)")
        ->type_name("BAUD")
        ->check(CLI::Range(0, 10'000'000).description(""))
        ->group("Line");
    app.add_flag("--wire", options.wire,
                 "hold each reply for the transmission time of request\n"
                 "and reply at the line speed (10 bits a byte)")
        ->group("Line");
    AddMillisOption(app, "--device-delay", options.deviceDelay,
                    "processing time before each reply (default 0)", "Line");
    AddMillisOption(app, "--frame-timeout", options.frameTimeout,
                    "a half frame is dropped after this long without\n"
                    "its next byte (default 200)",
                    "Line");

    app.add_option_function<unsigned>(
           "--devices",
           [&options](unsigned devices) {
               if (devices == 0)
                   throw SimOptionError("--devices takes at least 1");
               options.devices = devices;
           },
           "play N devices, then exit (default: until stopped)")
        ->type_name("N")
        ->check(CLI::Range(0u, 1'000'000'000u).description(""))
        ->group("Devices");
    // With a value the devices' protocol versions, as always; alone, the
    // tool's version like every other program.
    app.add_option("--version", versions,
                   "protocol version of each device, cycling (default 3);\n"
                   "without a value: show the tool's version")
        ->type_name("[V[,V...]]")
        ->expected(0, 1)
        ->group("Devices");
    AddMillisOption(app, "--hello-interval", options.helloInterval,
                    "hello repeat while unanswered (default 1000, at least 50)", "Devices");
    app.add_option_function<std::uint64_t>(
           "--hello-once",
           [&options](std::uint64_t value) { options.helloOnce = Millis(value); },
           "each device says hello once and gives up when it is\n"
           "not answered within MS (a boot loader that then\n"
           "starts its application): it ends \"unanswered\"")
        ->type_name("MS")
        ->group("Devices");
    AddMillisOption(app, "--power-up-delay", options.powerUpDelay,
                    "pause between one device and the next (default 300)", "Devices");
    AddMillisOption(app, "--quiet-end", options.quietEnd,
                    "a device is done after this long without a host\n"
                    "frame (default 2000)",
                    "Devices");
    AddMillisOption(app, "--host-timeout", options.hostTimeout,
                    "after a withheld reply, the next device waits this\n"
                    "long for the host's reply time-out (default 17000)",
                    "Devices");
    AddMillisOption(app, "--return-delay", options.returnDelay,
                    "a vanished line returns after this long (default 1000)", "Devices");
    AddMillisOption(app, "--split-gap", options.splitGap,
                    "pause inside a split reply (default 100)", "Devices");
    app.add_option("--power-up-when", options.powerUpWhen,
                   "the first device powers up once PATH exists (the\n"
                   "operator's switch, for a harness that knows when the\n"
                   "host listens)")
        ->type_name("PATH")
        ->group("Devices");

    app.add_option_function<std::vector<std::string>>(
           "--device-serial",
           [&options](const std::vector<std::string>& texts) {
               for (const auto& text : texts)
                   AddDeviceSerial(options, text);
           },
           "device N starts with serial number TEXT in its\n"
           "EEPROM record, as one provisioned before (repeatable)")
        ->type_name("N:TEXT")
        ->allow_extra_args(false)
        ->group("Devices");
    app.add_option("--fault", faults,
                   "device N plays fault KIND (repeatable, one per\n"
                   "device; kinds below)")
        ->type_name("N:KIND[:ARG]")
        ->allow_extra_args(false)
        ->group("Faults");
    app.add_option_function<std::string>(
           "--faults",
           [&options](const std::string& text) {
               if (text != "random" && text != "none")
                   throw SimOptionError("--faults takes random or none");
               options.randomFaults = text == "random";
           },
           "draw faults at random for the other devices: the\n"
           "update faults (vanish only with --link; no serial or\n"
           "hello-l3 faults, which need a host set up for them)")
        ->type_name("random|none")
        ->group("Faults");
    app.add_option("--seed", options.seed, "seed of the random faults (same seed, same plan)")
        ->type_name("S")
        ->group("Faults");
    app.add_option("--fault-rate", options.faultRate,
                   "share of devices with a random fault (default 0.3)")
        ->type_name("P")
        ->check(CLI::Range(0.0, 1.0).description(""))
        ->group("Faults");
    app.add_flag("--show-plan", options.showPlan,
                 "print each device's fault (needs --devices) and exit")
        ->group("Faults");

    app.add_option("--expect", options.expect,
                   "firmware (raw binary or Intel HEX) the devices\n"
                   "should hold")
        ->type_name("FILE")
        ->group("Results");
    app.add_option("--report", options.report, "one JSON line per device, written when it is done")
        ->type_name("FILE")
        ->group("Results");
    app.add_flag("--trace", options.trace,
                 "every frame in and out, time-stamped, on standard\n"
                 "error")
        ->group("Results");
}

void MakeApp(CLI::App& app, SimOptions& options, std::vector<std::string>& faults,
             std::string& versions) {
    app.description(
        "Plays a series of devices on a pseudo-terminal for comflash to update. The first\n"
        "line of standard output is the port path to open.");
    app.footer("Fault kinds:\n" + FaultHelp() +
               "\nExit status: 0 when every device went as its fault predicts, 1 otherwise,\n"
               "2 for bad arguments or a line that cannot be opened.");
    UseCommonHelpLayout(app, "comflash-sim [options]");
    DeclareOptions(app, options, faults, versions);
}

}  // namespace

SimOptions ParseSimOptions(std::span<const std::string_view> arguments) {
    SimOptions options;
    std::vector<std::string> faults;
    std::string versions;
    CLI::App app("", "comflash-sim");
    MakeApp(app, options, faults, versions);
    if (!ParseCommandLine(app, arguments, '"')) {
        options.help = true;
        return options;
    }
    if (app.count("--version") > 0) {
        if (versions.empty()) {
            options.showVersion = true;
            return options;
        }
        options.versions = ParseVersions(versions);
    }
    for (const std::string& fault : faults)
        AddFault(options, fault);
    CheckConsistency(options);
    return options;
}

std::string SimUsage() {
    SimOptions unused;
    std::vector<std::string> faults;
    std::string versions;
    CLI::App app("", "comflash-sim");
    MakeApp(app, unused, faults, versions);
    return HelpText(app);
}

}  // namespace comflash::sim
