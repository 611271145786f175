#include "gui/window_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "gui/toolkit_arguments.h"

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

unsigned ScreenshotAfter(const QString& text) {
    const std::optional<unsigned> count = ParseCount(text.toStdString());
    if (!count)
        throw WindowOptionError("--screenshot-after takes a number of devices, not \"" +
                                text.toStdString() + "\"");
    return *count;
}

struct Declared {
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("COMn")};
    QCommandLineOption tickAuto{QStringLiteral("auto")};
    QCommandLineOption open{QStringLiteral("open")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"), QString(), QStringLiteral("FILE")};
    QCommandLineOption screenshotAfter{QStringLiteral("screenshot-after"), QString(),
                                       QStringLiteral("N")};
    QCommandLineOption quickTurnaround{QStringLiteral("quick-turnaround")};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption help{QStringLiteral("help")};
};

}  // namespace

WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments) {
    const Declared declared;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({declared.port, declared.tickAuto, declared.open, declared.screenshot,
                       declared.screenshotAfter, declared.quickTurnaround, declared.version,
                       declared.help});
    if (!parser.parse(OwnArguments("comflash", arguments)))
        throw WindowOptionError(RefusalText(parser, "comflash"));

    WindowOptions options;
    if (parser.isSet(declared.port))
        options.portIndex = PortIndex(parser.value(declared.port).toStdString());
    options.tickAuto = parser.isSet(declared.tickAuto);
    options.open = parser.isSet(declared.open);
    if (parser.isSet(declared.screenshot))
        options.screenshot = parser.value(declared.screenshot).toStdString();
    if (parser.isSet(declared.screenshotAfter))
        options.screenshotAfter = ScreenshotAfter(parser.value(declared.screenshotAfter));
    options.quickTurnaround = parser.isSet(declared.quickTurnaround);
    options.version = parser.isSet(declared.version);
    options.help = parser.isSet(declared.help);
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
           "  --quick-turnaround       at the update rate, take each reply as soon as its\n"
           "                           last byte is in, not after 30 ms of silence: every\n"
           "                           chunk holds one frame and each device gets its next\n"
           "                           frame about 30 ms sooner. Opt-in: try a device type\n"
           "                           with it before a line relies on it\n"
           "  --version                show the tool's version and its built-in image\n"
           "  --help                   this text\n"
           "\n"
           "Options with one dash are Qt's, for example -platform offscreen.\n"
           "\n"
           "Port names lead to devices through the file ports in the settings folder\n"
           "(${XDG_CONFIG_HOME:-~/.config}/Norvane/FW/ports), with lines such as\n"
           "COM1=/dev/ttyUSB0; a name not listed opens /dev/ttyS<n-1>.\n";
}

}  // namespace comflash
