// comflash-station: the station window over the built-in firmware image.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "frontend/version_text.h"
#include "frontend/window_options.h"
#include "gui/common/toolkit_arguments.h"
#include "gui/station/station_window.h"
#include "image/builtin_image_source.h"

int main(int argc, char* argv[]) {
    using comflash::StationOptions;
    using comflash::station::StationWindow;

    // Ours first, so that --help and mistakes need no display.
    StationOptions options;
    try {
        options = comflash::ParseStationOptions(
            comflash::OwnArguments(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const comflash::UsageError& error) {
        std::fprintf(stderr, "comflash-station: %s\n", error.what());
        return 2;
    }
    if (options.window.help) {
        std::fputs(comflash::StationUsage(comflash::kToolkitOptionsNote).c_str(), stdout);
        return 0;
    }
    if (options.window.version) {
        std::fputs(comflash::VersionText("comflash-station", comflash::BuiltInImageInfo()).c_str(),
                   stdout);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(comflash::kStationTitle));

    const comflash::BuiltInImageSource image;
    // The window closes its ports when it goes, before the application ends.
    std::unique_ptr<StationWindow> window;
    try {
        window = std::make_unique<StationWindow>(image, options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "comflash-station: %s\n", error.what());
        return 2;
    }
    window->resize(window->sizeHint().expandedTo(QSize(880, 600)));
    window->show();
    if (options.window.open)
        window->OpenAll();
    if (options.window.screenshot) {
        const std::string file = *options.window.screenshot;
        window->PictureAfter(options.window.screenshotAfter, QString::fromStdString(file),
                             [file](bool saved) {
                                 if (!saved) {
                                     std::fprintf(stderr,
                                                  "comflash-station: cannot save the picture "
                                                  "as %s\n",
                                                  file.c_str());
                                 }
                                 QApplication::exit(saved ? 0 : 1);
                             });
    }
    const int status = QApplication::exec();
    // Every device recorded, every number settled, and what the line is
    // owed given its last chance.
    window->CloseAll();
    const std::vector<std::string> said = window->Finish();
    window.reset();
    for (const auto& text : said)
        std::fprintf(stderr, "comflash-station: %s\n", text.c_str());
    return status;
}
