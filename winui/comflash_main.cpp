// comflash.exe: the operator's window on Windows, over the built-in firmware
// image. The options act as the operator would right after start-up.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "frontend/version_text.h"
#include "frontend/window_options.h"
#include "image/builtin_image_source.h"
#include "winui/main_window_win32.h"
#include "winui/message_loop_win32.h"
#include "winui/program_output_win32.h"
#include "winui/window_picture_win32.h"

namespace {

using comflash::WindowOptions;
using comflash::winui::Said;
using comflash::winui::SayOnConsoleOrInABox;
using comflash::winui::TForm1;

constexpr const char* kProgram = "comflash";

// What the options ask for, done through the controls as the operator would.
void ActAsOperator(TForm1& window, const WindowOptions& options) {
    if (options.portIndex) {
        SendMessageA(window.Control("ComboBox1"), CB_SETCURSEL,
                     static_cast<WPARAM>(*options.portIndex), 0);
    }
    if (options.tickAuto &&
        SendMessageA(window.Control("SelAuto"), BM_GETCHECK, 0, 0) != BST_CHECKED)
        SendMessageA(window.Control("SelAuto"), BM_CLICK, 0, 0);
    if (options.open) {
        if (IsWindowEnabled(window.Control("Button1")))
            SendMessageA(window.Control("Button1"), BM_CLICK, 0, 0);
        else
            SayOnConsoleOrInABox(kProgram,
                                 "comflash: --open: Open is disabled, the tool holds no "
                                 "firmware image\n",
                                 Said::Mistake);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    std::vector<std::string> arguments(__argv + 1, __argv + __argc);
    WindowOptions options;
    try {
        options = comflash::ParseWindowOptions(arguments);
    } catch (const comflash::UsageError& error) {
        SayOnConsoleOrInABox(kProgram, std::string("comflash: ") + error.what() + "\n",
                             Said::Mistake);
        return 2;
    }
    if (options.help) {
        SayOnConsoleOrInABox(kProgram, comflash::WindowUsage(), Said::Information);
        return 0;
    }
    if (options.version) {
        SayOnConsoleOrInABox(kProgram,
                             comflash::VersionText(kProgram, comflash::BuiltInImageInfo()),
                             Said::Information);
        return 0;
    }

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const comflash::BuiltInImageSource image;
    std::unique_ptr<TForm1> window;
    try {
        window = std::make_unique<TForm1>(image);
    } catch (const std::exception& error) {
        SayOnConsoleOrInABox(kProgram,
                             std::string("comflash: cannot build the window: ") + error.what() +
                                 "\n",
                             Said::Mistake);
        return 1;
    }
    window->SetQuickTurnaround(options.quickTurnaround);
    ShowWindow(window->Handle(), showCommand == 0 ? SW_SHOWNORMAL : showCommand);
    UpdateWindow(window->Handle());
    ActAsOperator(*window, options);

    int status = 0;
    if (options.screenshot) {
        comflash::winui::PictureWhen picture(window->Handle(), *options.screenshot, kProgram);
        if (options.screenshotAfter == 0) {
            picture.Take();
        } else {
            window->OnCountersShown([&picture, devices = options.screenshotAfter](int ok,
                                                                                 int errors) {
                if (static_cast<unsigned>(ok + errors) >= devices)
                    picture.Take();
            });
        }
        status = comflash::winui::RunMessageLoop(window->Handle());
        window->OnCountersShown(nullptr);
        status = picture.Status(status);
    } else {
        status = comflash::winui::RunMessageLoop(window->Handle());
    }
    window.reset();
    return status;
}
