#include "frontend/window_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "frontend/command_line.h"

namespace comflash {
namespace {

constexpr int kPortCount = 32;

constexpr const char* kPortMapNote =
    "Port names lead to devices through the file ports in the settings folder\n"
    "(${XDG_CONFIG_HOME:-~/.config}/Norvane/FW/ports on Linux), with lines such as\n"
    "COM1=/dev/ttyUSB0; a name not listed opens /dev/ttyS<n-1>.";

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
        throw UsageError("--port takes a name of the port list, COM1 to COM32, not \"" + name +
                         "\" (the file ports in the settings folder maps a name to a device, "
                         "for example COM1=/dev/ttyUSB0)");
    }
    return number - 1;
}

unsigned PictureCount(const std::string& text) {
    unsigned count = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || stop != text.data() + text.size())
        throw UsageError("--screenshot-after takes a number of devices, not \"" + text + "\"");
    return count;
}

void AddActions(CLI::App& app, WindowActions& actions, const char* autoText,
                const char* countText) {
    app.add_flag("--auto", actions.tickAuto, autoText);
    app.add_flag("--open", actions.open, "press Open");
    app.add_option("--screenshot", actions.screenshot,
                   "save a picture of the window as FILE (PNG), then\nquit")
        ->type_name("FILE");
    app.add_option_function<std::string>(
           "--screenshot-after",
           [&actions](const std::string& text) { actions.screenshotAfter = PictureCount(text); },
           countText)
        ->type_name("N");
    app.add_flag("--version", actions.version, "show the tool's version and its built-in image");
}

void CheckActions(const WindowActions& actions) {
    if (actions.screenshotAfter > 0 && !actions.screenshot)
        throw UsageError("--screenshot-after needs --screenshot FILE");
}

void MakeWindowApp(CLI::App& app, WindowOptions& options, const std::string& note) {
    app.description(
        "Writes the built-in firmware into devices on a serial port. Without options the\n"
        "window opens as it was left; the options do right after start-up what the\n"
        "operator would do.");
    app.footer(note.empty() ? std::string(kPortMapNote) : note + "\n\n" + kPortMapNote);
    UseCommonHelpLayout(app, "comflash [options]");
    app.add_option_function<std::string>(
           "--port", [&options](const std::string& name) { options.portIndex = PortIndex(name); },
           "select COMn (COM1 to COM32) in the port list")
        ->type_name("COMn");
    AddActions(app, options, "tick Auto",
               "take the picture once N devices are counted (Ok\nplus Err); default 0, at once");
    AddQuickTurnaroundOption(app, options.quickTurnaround);
}

void MakeStationApp(CLI::App& app, StationOptions& options, const std::string& note) {
    app.description(
        "One window for a fixture of several ports: every port has its tile, and every\n"
        "device that says hello on one of them is updated with the built-in firmware\n"
        "(or given the next serial number), with no question asked. Without options the\n"
        "window opens with the ports it had last time.");
    app.footer(note.empty() ? std::string(kPortMapNote) : note + "\n\n" + kPortMapNote);
    UseCommonHelpLayout(app, "comflash-station [options]");
    AddRunOptions(app, options.run, {.remembers = true});
    AddActions(app, options.window,
               "accepted as in comflash; the station always runs as\nwith Auto ticked",
               "take the picture once N devices have finished over\nall ports; default 0, at "
               "once");
}

// The program's own words for a mistake CLI11 found.
template <typename Parse>
void Refusing(const char* program, Parse parse) {
    try {
        parse();
    } catch (const UsageError& error) {
        const std::string text = error.what();
        if (text.starts_with("unexpected argument"))
            throw UsageError(text + " (ports are given with --port)");
        if (text.starts_with("unknown option"))
            throw UsageError(text + " (" + program + " --help lists the options)");
        throw;
    }
}

}  // namespace

WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments) {
    WindowOptions options;
    CLI::App app("", "comflash");
    MakeWindowApp(app, options, {});
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    Refusing("comflash", [&] { options.help = !ParseCommandLine(app, views, '"'); });
    CheckActions(options);
    return options;
}

StationOptions ParseStationOptions(const std::vector<std::string>& arguments) {
    StationOptions options;
    CLI::App app("", "comflash-station");
    MakeStationApp(app, options, {});
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    Refusing("comflash-station",
             [&] { options.window.help = !ParseCommandLine(app, views, '"'); });
    CheckRunOptions(options.run, false);
    CheckActions(options.window);
    return options;
}

std::string WindowUsage(const std::string& note) {
    WindowOptions unused;
    CLI::App app("", "comflash");
    MakeWindowApp(app, unused, note);
    return HelpText(app);
}

std::string StationUsage(const std::string& note) {
    StationOptions unused;
    CLI::App app("", "comflash-station");
    MakeStationApp(app, unused, note);
    return HelpText(app);
}

}  // namespace comflash
