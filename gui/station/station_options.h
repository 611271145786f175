// The command line of comflash-station. Without options the window opens
// with the ports it had last time; the options do right after start-up what
// the operator would do.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace comflash::station {

class StationOptionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct StationOptions {
    std::vector<std::string> ports{};         // --port, in order: COMn or device paths
    bool writeSerialNumbers = false;          // --write-sn
    bool overwriteSerialNumbers = false;      // --overwrite-sn
    bool verifySerialNumbers = false;         // --verify-sn
    bool quickTurnaround = false;             // --quick-turnaround
    bool tickAuto = false;                    // --auto: the station always runs so
    bool open = false;                        // --open: every port
    std::optional<std::string> record{};      // --record FILE
    std::optional<std::string> screenshot{};  // --screenshot FILE
    unsigned screenshotAfter = 0;             // --screenshot-after N devices over all ports
    std::optional<std::string> line{};        // --line CONNINFO (empty: forget the stored one)
    std::optional<std::string> station{};     // --station NAME
    bool standalone = false;                  // --standalone
    bool version = false;
    bool help = false;
};

// Arguments without the program name. Those with one dash are the toolkit's
// (-platform offscreen, -style Fusion), with their values, and are passed
// over. Throws StationOptionError with a message for the operator.
StationOptions ParseStationOptions(const std::vector<std::string>& arguments);

std::string StationUsage();

}  // namespace comflash::station
