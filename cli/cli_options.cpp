#include "cli/cli_options.h"

#include <charconv>

namespace comflash::cli {

const char* const kUsage =
    "usage: comflash-cli --port PORT [--port PORT ...] [options]\n"
    "       comflash-cli --list-ports\n"
    "       comflash-cli --show-sn | --set-sn TEXT [--force]\n"
    "\n"
    "Updates every device that says hello on the given ports, one after another,\n"
    "with the built-in firmware image (Auto on). PORT is COM1 to COM32 (resolved\n"
    "through the port map) or a device path such as /dev/ttyUSB0.\n"
    "\n"
    "options:\n"
    "  --devices N        end after N devices per port have finished\n"
    "  --image-text FILE  use this enciphered image text instead of the built-in image\n"
    "  --no-fast          update at 9600 baud instead of 38400\n"
    "  --l3               refuse devices whose protocol version is below 3\n"
    "  --json             one JSON object per event on standard output\n"
    "  --record FILE      append one JSON line per finished device to FILE\n"
    "  --write-sn         write the stored serial number into each device instead of\n"
    "                     updating it, and advance the number after each device\n"
    "  --show-sn          print the serial number the next device receives\n"
    "  --set-sn TEXT      store TEXT as the next serial number (6 to 16 printable\n"
    "                     characters ending in six digits)\n"
    "  --force            with --set-sn: store a number behind the stored one, although\n"
    "                     the numbers in between may already be in devices\n"
    "  --list-ports       list the serial devices present and the COM names leading to them\n"
    "  --help             show this text\n"
    "\n"
    "exit status: 0 every device updated, 1 a device failed, 2 bad arguments, an image\n"
    "that does not decode or a port that cannot be opened\n";

namespace {

unsigned ParseCount(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) {
        throw UsageError("--devices needs a whole number above 0, not '" + std::string(text) + "'");
    }
    return value;
}

}  // namespace

CliOptions ParseOptions(std::span<const std::string_view> args) {
    CliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= args.size())
                throw UsageError(std::string(arg) + " needs a value");
            return args[++i];
        };
        if (arg == "--port") {
            options.ports.emplace_back(value());
        } else if (arg == "--devices") {
            options.devices = ParseCount(value());
        } else if (arg == "--image-text") {
            options.imageText = std::filesystem::path(value());
        } else if (arg == "--record") {
            options.record = std::filesystem::path(value());
        } else if (arg == "--no-fast") {
            options.fast = false;
        } else if (arg == "--l3") {
            options.l3 = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--write-sn") {
            options.writeSerialNumbers = true;
        } else if (arg == "--show-sn") {
            options.showSerialNumber = true;
        } else if (arg == "--set-sn") {
            options.setSerialNumber = std::string(value());
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            throw UsageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (options.force && !options.setSerialNumber)
        throw UsageError("--force goes with --set-sn");
    const bool serialNumberOnly = options.showSerialNumber || options.setSerialNumber;
    if (!options.help && !options.listPorts && !serialNumberOnly && options.ports.empty()) {
        throw UsageError("name at least one port with --port");
    }
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        if (options.ports[i].empty())
            throw UsageError("--port needs a port name");
        for (std::size_t j = 0; j < i; ++j) {
            if (options.ports[i] == options.ports[j])
                throw UsageError("port " + options.ports[i] + " is named twice");
        }
    }
    return options;
}

}  // namespace comflash::cli
