#include "gui/window_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace comflash {
namespace {

constexpr int kPortCount = 32;

int PortIndex(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    int number = 0;
    const char* digits = upper.data() + std::min<std::size_t>(3, upper.size());
    const char* end = upper.data() + upper.size();
    const auto [stop, error] = std::from_chars(digits, end, number);
    if (upper.rfind("COM", 0) != 0 || digits == end || error != std::errc() || stop != end ||
        number < 1 || number > kPortCount) {
        throw WindowOptionError("--port takes a name of the port list, COM1 to COM32, not \"" +
                                name +
                                "\" (the file ports in the settings folder maps a name to "
                                "a device, for example COM1=/dev/ttyUSB0)");
    }
    return number - 1;
}

unsigned DeviceCount(const std::string& text) {
    unsigned count = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || stop != text.data() + text.size())
        throw WindowOptionError("--screenshot-after takes a number of devices, not \"" + text +
                                "\"");
    return count;
}

}  // namespace

WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments) {
    WindowOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option.rfind("--", 0) != 0)
            continue;  // the toolkit's, such as -platform offscreen
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size())
                throw WindowOptionError(option + " needs a value");
            return arguments[++i];
        };
        if (option == "--port")
            options.portIndex = PortIndex(value());
        else if (option == "--auto")
            options.tickAuto = true;
        else if (option == "--open")
            options.open = true;
        else if (option == "--screenshot")
            options.screenshot = value();
        else if (option == "--screenshot-after")
            options.screenshotAfter = DeviceCount(value());
        else if (option == "--help")
            options.help = true;
        else
            throw WindowOptionError("unknown option \"" + option +
                                    "\" (comflash --help lists the options)");
    }
    if (options.screenshotAfter > 0 && !options.screenshot)
        throw WindowOptionError("--screenshot-after needs --screenshot FILE");
    return options;
}

std::string WindowUsage() {
    return "Usage: comflash [options]\n"
           "Writes the built-in firmware into devices on a serial port. Without options the\n"
           "window opens as it was left; the options do right after start-up what the\n"
           "operator would do:\n"
           "\n"
           "  --port COMn              select COMn (COM1 to COM32) in the port list\n"
           "  --auto                   tick Auto\n"
           "  --open                   press Open\n"
           "  --screenshot FILE        save a picture of the window as FILE (PNG), then quit\n"
           "  --screenshot-after N     take the picture once N devices are counted (Ok plus\n"
           "                           Err); default 0, at once\n"
           "  --help                   this text\n"
           "\n"
           "Options with one dash are Qt's, for example -platform offscreen.\n"
           "\n"
           "Port names lead to devices through the file ports in the settings folder\n"
           "(${XDG_CONFIG_HOME:-~/.config}/Norvane/FW/ports), with lines such as\n"
           "COM1=/dev/ttyUSB0; a name not listed opens /dev/ttyS<n-1>.\n";
}

}  // namespace comflash
