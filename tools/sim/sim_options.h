// The command line of comflash-sim.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/usage_error.h"
#include "tools/sim/fault_plan.h"
#include "tools/sim/line_speed.h"
#include "tools/sim/timeline.h"

namespace comflash::sim {

using SimOptionError = UsageError;

struct SimOptions {
    std::optional<std::filesystem::path> link;
    std::optional<std::filesystem::path> attach;
    unsigned devices = 0;  // 0: one device after another until stopped
    std::vector<std::uint8_t> versions{3};
    int updateBaud = kDefaultUpdateBaud;

    Millis helloInterval{1000};
    // Each device says hello once and gives up when no answer comes within
    // this long, as a boot loader that starts its application does.
    std::optional<Millis> helloOnce;
    Millis powerUpDelay{300};
    Millis quietEnd{2000};
    // The host's reply time-out is 10 Timer1 ticks, 16 for the checksum, each
    // up to a second: after a withheld reply it waits up to 16 s.
    Millis hostTimeout{17000};
    Millis returnDelay{1000};
    Millis splitGap{100};
    Millis deviceDelay{0};
    Millis frameTimeout{200};
    bool wire = false;
    std::optional<std::filesystem::path> powerUpWhen;

    std::map<unsigned, Fault> faults;
    std::map<unsigned, std::string> deviceSerials;  // device N starts with this serial number
    bool randomFaults = false;
    std::optional<std::uint64_t> seed;
    double faultRate = 0.3;
    bool showPlan = false;

    std::optional<std::filesystem::path> expect;
    std::optional<std::filesystem::path> report;
    bool trace = false;
    bool showVersion = false;  // --version without a value: the tool's version
    bool help = false;

    std::uint8_t VersionOf(unsigned device) const {
        return versions[(device - 1) % versions.size()];
    }
};

// Arguments without the program name. Throws SimOptionError with a message
// for the operator; with --help only `help` is set.
SimOptions ParseSimOptions(std::span<const std::string_view> arguments);

std::string SimUsage();

}  // namespace comflash::sim
