// comflash-station.exe: the station window on Windows, over the built-in
// firmware image. The options act as the operator would right after start-up.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "frontend/version_text.h"
#include "frontend/window_options.h"
#include "image/builtin_image_source.h"
#include "winui/message_loop_win32.h"
#include "winui/program_output_win32.h"
#include "winui/station_window_win32.h"

namespace {

using comflash::winui::Said;
using comflash::winui::SayOnConsoleOrInABox;

constexpr const char* kProgram = "comflash-station";

// What --help adds on Windows. That the line database is not built for
// Windows the line options say themselves, and --line is refused with it.
std::string WindowsNote() {
    return "On Windows the ports are COM1 to COM32 as the system names them; a tile shows "
           "the\nadapter the system shows under its name.";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    std::vector<std::string> arguments(__argv + 1, __argv + __argc);
    comflash::StationOptions options;
    try {
        options = comflash::ParseStationOptions(arguments);
    } catch (const comflash::UsageError& error) {
        SayOnConsoleOrInABox(kProgram, std::string(kProgram) + ": " + error.what() + "\n",
                             Said::Mistake);
        return 2;
    }
    if (options.window.help) {
        SayOnConsoleOrInABox(kProgram, comflash::StationUsage(WindowsNote()), Said::Information);
        return 0;
    }
    if (options.window.version) {
        SayOnConsoleOrInABox(kProgram,
                             comflash::VersionText(kProgram, comflash::BuiltInImageInfo()),
                             Said::Information);
        return 0;
    }

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                            ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const comflash::BuiltInImageSource image;
    std::unique_ptr<comflash::winui::StationWindow> window;
    try {
        window = std::make_unique<comflash::winui::StationWindow>(image, options);
    } catch (const std::exception& error) {
        SayOnConsoleOrInABox(kProgram, std::string(kProgram) + ": " + error.what() + "\n",
                             Said::Mistake);
        return 2;
    }
    ShowWindow(window->Handle(), showCommand == 0 ? SW_SHOWNORMAL : showCommand);
    UpdateWindow(window->Handle());
    if (options.window.open)
        window->Model().OpenAll();

    int status = 0;
    if (options.window.screenshot) {
        comflash::winui::PictureWhen picture(window->Handle(), *options.window.screenshot,
                                             kProgram);
        if (options.window.screenshotAfter == 0) {
            picture.Take();
        } else {
            window->OnDevicesFinished([&picture, devices = options.window.screenshotAfter](
                                          unsigned finished) {
                if (finished >= devices)
                    picture.Take();
            });
        }
        status = picture.Status(comflash::winui::RunMessageLoop(window->Handle()));
        window->OnDevicesFinished(nullptr);
    } else {
        status = comflash::winui::RunMessageLoop(window->Handle());
    }
    // Every device recorded, every number settled, and what the line is
    // owed given its last chance.
    window->Model().CloseAll();
    const std::vector<std::string> said = window->Model().Finish();
    window.reset();
    std::string text;
    for (const auto& line : said)
        text += std::string(kProgram) + ": " + line + "\n";
    if (!text.empty())
        comflash::winui::SayOnConsole(text, Said::Information);
    return status;
}
