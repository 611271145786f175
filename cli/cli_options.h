// The command line of comflash-cli.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/run_options.h"
#include "frontend/usage_error.h"

namespace comflash::cli {

struct CliOptions {
    RunOptions run;                                  // ports, mode, record, line
    std::optional<unsigned> devices;                 // end after this many devices per port
    std::optional<std::filesystem::path> imageText;  // instead of the built-in image
    bool fast = true;                                // the hidden "Fast" choice
    bool l3 = false;                                 // the hidden "L3" choice
    bool json = false;                               // one JSON object per event on standard output
    bool showSerialNumber = false;                   // --show-sn
    std::optional<std::string> setSerialNumber;      // --set-sn TEXT
    bool force = false;                              // --set-sn behind the stored number
    bool listPorts = false;
    bool version = false;                      // --version: the tool and its built-in image
    bool imageInfo = false;                    // --image-info: the image of the run, then end
    std::optional<std::uint16_t> expectedCrc;  // --expect-image-crc: refuse any other image
    bool help = false;
};

using comflash::UsageError;

// Throws UsageError for bad arguments.
CliOptions ParseOptions(std::span<const std::string_view> args);

// The --help text.
std::string Usage();

}  // namespace comflash::cli
