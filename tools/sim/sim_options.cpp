#include "tools/sim/sim_options.h"

#include <charconv>
#include <functional>

#include "tools/sim/line_speed.h"

namespace comflash::sim {
namespace {

constexpr std::uint64_t kLongestDelayMs = 24ULL * 3600 * 1000;
constexpr std::uint64_t kShortestHelloIntervalMs = 50;  // closer hellos merge into one host chunk

std::uint64_t ParseUnsigned(std::string_view option, std::string_view text,
                            std::uint64_t largest = UINT64_MAX) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        value > largest) {
        throw SimOptionError(std::string(option) + " takes a whole number" +
                             (largest != UINT64_MAX ? " up to " + std::to_string(largest) : "") +
                             ", not \"" + std::string(text) + "\"");
    }
    return value;
}

Millis ParseMillis(std::string_view option, std::string_view text) {
    return Millis(ParseUnsigned(option, text, kLongestDelayMs));
}

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

double ParseRate(std::string_view text) {
    double value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !(value >= 0) ||
        value > 1) {
        throw SimOptionError("--fault-rate takes a fraction from 0 to 1, not \"" +
                             std::string(text) + "\"");
    }
    return value;
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

}  // namespace

SimOptions ParseSimOptions(std::span<const std::string_view> arguments) {
    SimOptions options;
    using Handler = std::function<void(std::string_view)>;
    const std::map<std::string_view, Handler> withValue = {
        {"--link", [&](std::string_view v) { options.link = std::filesystem::path(v); }},
        {"--attach", [&](std::string_view v) { options.attach = std::filesystem::path(v); }},
        {"--devices",
         [&](std::string_view v) {
             options.devices = static_cast<unsigned>(ParseUnsigned("--devices", v, 1'000'000'000));
             if (options.devices == 0)
                 throw SimOptionError("--devices takes at least 1");
         }},
        {"--version", [&](std::string_view v) { options.versions = ParseVersions(v); }},
        {"--update-baud",
         [&](std::string_view v) {
             options.updateBaud = static_cast<int>(ParseUnsigned("--update-baud", v, 10'000'000));
             if (!IsSupportedBaud(options.updateBaud)) {
                 throw SimOptionError("--update-baud " + std::string(v) +
                                      " is not a standard rate (for example 9600, 38400, 115200)");
             }
         }},
        {"--hello-interval",
         [&](std::string_view v) { options.helloInterval = ParseMillis("--hello-interval", v); }},
        {"--power-up-delay",
         [&](std::string_view v) { options.powerUpDelay = ParseMillis("--power-up-delay", v); }},
        {"--quiet-end",
         [&](std::string_view v) { options.quietEnd = ParseMillis("--quiet-end", v); }},
        {"--host-timeout",
         [&](std::string_view v) { options.hostTimeout = ParseMillis("--host-timeout", v); }},
        {"--return-delay",
         [&](std::string_view v) { options.returnDelay = ParseMillis("--return-delay", v); }},
        {"--split-gap",
         [&](std::string_view v) { options.splitGap = ParseMillis("--split-gap", v); }},
        {"--device-delay",
         [&](std::string_view v) { options.deviceDelay = ParseMillis("--device-delay", v); }},
        {"--fault",
         [&](std::string_view v) {
             try {
                 const DeviceFault chosen = ParseDeviceFault(v);
                 if (!options.faults.emplace(chosen.device, chosen.fault).second) {
                     throw SimOptionError("--fault: device " + std::to_string(chosen.device) +
                                          " already has a fault; one fault per device");
                 }
             } catch (const FaultSyntaxError& error) {
                 throw SimOptionError("--fault " + std::string(v) + ": " + error.what());
             }
         }},
        {"--faults",
         [&](std::string_view v) {
             if (v != "random" && v != "none")
                 throw SimOptionError("--faults takes random or none");
             options.randomFaults = v == "random";
         }},
        {"--seed", [&](std::string_view v) { options.seed = ParseUnsigned("--seed", v); }},
        {"--fault-rate", [&](std::string_view v) { options.faultRate = ParseRate(v); }},
        {"--expect", [&](std::string_view v) { options.expect = std::filesystem::path(v); }},
        {"--report", [&](std::string_view v) { options.report = std::filesystem::path(v); }},
    };
    const std::map<std::string_view, bool*> flags = {
        {"--wire", &options.wire},
        {"--trace", &options.trace},
        {"--show-plan", &options.showPlan},
        {"--help", &options.help},
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (const auto flag = flags.find(name); flag != flags.end()) {
            if (value)
                throw SimOptionError(std::string(name) + " takes no value");
            *flag->second = true;
            continue;
        }
        const auto handler = withValue.find(name);
        if (handler == withValue.end()) {
            throw SimOptionError("unknown option \"" + std::string(arguments[i]) +
                                 "\" (comflash-sim --help lists the options)");
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                throw SimOptionError(std::string(name) + " needs a value");
            }
            value = arguments[++i];
        }
        handler->second(*value);
    }
    if (!options.help)
        CheckConsistency(options);
    return options;
}

std::string SimUsage() {
    return "Usage: comflash-sim [options]\n"
           "Plays a series of devices on a pseudo-terminal for comflash to update. The first\n"
           "line of standard output is the port path to open.\n"
           "\n"
           "Line:\n"
           "  --link PATH            keep PATH a symbolic link to the port (also after it\n"
           "                         vanishes and returns; removed at exit)\n"
           "  --attach PATH          serve an existing serial device instead of a new\n"
           "                         pseudo-terminal (no open or speed checks possible)\n"
           "  --update-baud BAUD     speed of the update phase (default 38400)\n"
           "  --wire                 hold each reply for the transmission time of request and\n"
           "                         reply at the line speed (10 bits a byte)\n"
           "  --device-delay MS      processing time before each reply (default 0)\n"
           "\n"
           "Devices:\n"
           "  --devices N            play N devices, then exit (default: until stopped)\n"
           "  --version V[,V...]     protocol version of each device, cycling (default 3)\n"
           "  --hello-interval MS    hello repeat while unanswered (default 1000, at least 50)\n"
           "  --power-up-delay MS    pause between one device and the next (default 300)\n"
           "  --quiet-end MS         a device is done after this long without a host frame\n"
           "                         (default 2000)\n"
           "  --host-timeout MS      after a withheld reply, the next device waits this long\n"
           "                         for the host's reply time-out (default 17000)\n"
           "  --return-delay MS      a vanished line returns after this long (default 1000)\n"
           "  --split-gap MS         pause inside a split reply (default 100)\n"
           "\n"
           "Faults:\n"
           "  --fault N:KIND[:ARG]   device N plays fault KIND (repeatable, one per device)\n"
           "  --faults random|none   draw faults at random for the other devices: the update\n"
           "                         faults (vanish only with --link; no serial or hello-l3\n"
           "                         faults, which need a host set up for them)\n"
           "  --seed S               seed of the random faults (same seed, same plan)\n"
           "  --fault-rate P         share of devices with a random fault (default 0.3)\n"
           "  --show-plan            print each device's fault (needs --devices) and exit\n"
           "Fault kinds:\n" +
           FaultHelp() +
           "\n"
           "Results:\n"
           "  --expect FILE          firmware (raw binary or Intel HEX) the devices should hold\n"
           "  --report FILE          one JSON line per device, written when it is done\n"
           "  --trace                every frame in and out, time-stamped, on standard error\n"
           "  --help                 this text\n"
           "\n"
           "Exit status: 0 when every device went as its fault predicts, 1 otherwise,\n"
           "2 for bad arguments or a line that cannot be opened.\n";
}

}  // namespace comflash::sim
