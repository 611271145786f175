#include "cli/cli_options.h"

#include <charconv>

#include "frontend/command_line.h"

namespace comflash::cli {
namespace {

constexpr const char* kDescription =
    "Updates every device that says hello on the given ports, one after another,\n"
    "with the built-in firmware image (Auto on). PORT is COM1 to COM32 (resolved\n"
    "through the port map) or a device path such as /dev/ttyUSB0.";

constexpr const char* kUsageLines =
    "comflash-cli --port PORT [--port PORT ...] [options]\n"
    "comflash-cli --list-ports\n"
    "comflash-cli --show-sn | --set-sn TEXT [--force]\n"
    "comflash-cli --image-info [--image-text FILE] [--json]\n"
    "comflash-cli --version";

constexpr const char* kFooter =
    "exit status: 0 every device updated, 1 a device failed, 2 bad arguments, an image\n"
    "that does not decode or a port that cannot be opened";

unsigned ParseCount(const std::string& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0)
        throw UsageError("--devices needs a whole number above 0, not '" + text + "'");
    return value;
}

// Four hexadecimal digits, with or without 0x, as --record writes image_crc.
std::uint16_t ParseCrc(const std::string& text) {
    const std::string_view digits =
        text.starts_with("0x") || text.starts_with("0X") ? std::string_view(text).substr(2) : text;
    unsigned value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.size() != 4 || error != std::errc{} || end != digits.data() + digits.size()) {
        throw UsageError(
            "--expect-image-crc needs the image's CRC-16 as four hexadecimal digits "
            "such as 0x1A2B (comflash-cli --image-info shows it), not '" +
            text + "'");
    }
    return static_cast<std::uint16_t>(value);
}

// Every option of comflash-cli, in the order --help lists them.
void DeclareOptions(CLI::App& app, CliOptions& options) {
    AddRunOptions(app, options.run);
    app.add_option_function<std::string>(
           "--devices", [&options](const std::string& text) { options.devices = ParseCount(text); },
           "end after N devices per port have finished")
        ->type_name("N");
    app.add_option("--image-text", options.imageText,
                   "use this enciphered image text instead of the\n"
                   "built-in image")
        ->type_name("FILE");
    app.add_flag_callback(
        "--no-fast", [&options] { options.fast = false; }, "update at 9600 baud instead of 38400");
    app.add_flag("--l3", options.l3, "refuse devices whose protocol version is below 3");
    app.add_flag("--json", options.json, "one JSON object per event on standard output");
    app.add_flag("--show-sn", options.showSerialNumber,
                 "print the serial number the next device receives");
    app.add_option("--set-sn", options.setSerialNumber,
                   "store TEXT as the next serial number (6 to 16\n"
                   "printable characters but '#', ending in six digits)")
        ->type_name("TEXT");
    app.add_flag("--force", options.force,
                 "with --set-sn: store a number at or behind the\n"
                 "highest one its series handed out, although those\n"
                 "numbers may already be in devices");
    app.add_flag("--list-ports", options.listPorts,
                 "list the serial devices present and the COM names\n"
                 "leading to them");
    app.add_option_function<std::string>(
           "--expect-image-crc",
           [&options](const std::string& text) { options.expectedCrc = ParseCrc(text); },
           "refuse to start (exit status 2) unless the image to\n"
           "write has this CRC-16, such as 0x1A2B")
        ->type_name("XXXX");
    app.add_flag("--image-info", options.imageInfo,
                 "show the image's firmware, length, CRC-16 and SHA-256\n"
                 "(with --image-text: that text's), as JSON with --json");
    app.add_flag("--version", options.version, "show the tool's version and its built-in image");
}

void MakeApp(CLI::App& app, CliOptions& options) {
    app.description(kDescription);
    app.footer(kFooter);
    UseCommonHelpLayout(app, kUsageLines);
    DeclareOptions(app, options);
}

void CheckCombinations(const CliOptions& options) {
    if (options.force && !options.setSerialNumber)
        throw UsageError("--force goes with --set-sn");
    const bool serialNumberOnly = options.showSerialNumber || options.setSerialNumber;
    const bool noPortNeeded =
        options.listPorts || options.version || options.imageInfo || serialNumberOnly;
    CheckRunOptions(options.run, !noPortNeeded);
}

}  // namespace

CliOptions ParseOptions(std::span<const std::string_view> args) {
    CliOptions options;
    CLI::App app("", "comflash-cli");
    MakeApp(app, options);
    if (!ParseCommandLine(app, args)) {
        options.help = true;
        return options;
    }
    CheckCombinations(options);
    return options;
}

std::string Usage() {
    CliOptions unused;
    CLI::App app("", "comflash-cli");
    MakeApp(app, unused);
    return HelpText(app);
}

}  // namespace comflash::cli
