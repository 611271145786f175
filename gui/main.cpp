// comflash: the operator's window over the built-in firmware image.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "frontend/version_text.h"
#include "gui/main_window.h"
#include "frontend/window_options.h"
#include "gui/common/operator_boxes.h"
#include "gui/common/toolkit_arguments.h"
#include "image/builtin_image_source.h"

namespace {

using comflash::TForm1;
using comflash::WindowOptions;

// Time for the last log line and counters to be painted before the picture.
constexpr int kPictureSettleMs = 500;

void TakePictureAndQuit(TForm1& window, const std::string& file) {
    QTimer::singleShot(kPictureSettleMs, &window, [&window, file] {
        if (!window.grab().save(QString::fromStdString(file), "PNG")) {
            std::fprintf(stderr, "comflash: cannot save the picture as %s\n", file.c_str());
            QApplication::exit(1);
            return;
        }
        QApplication::exit(0);
    });
}

// What the options ask for, done through the controls as the operator would.
void ActAsOperator(TForm1& window, const WindowOptions& options) {
    if (options.portIndex)
        window.ComboBox1->setCurrentIndex(*options.portIndex);
    if (options.tickAuto && !window.SelAuto->isChecked())
        window.SelAuto->click();
    if (options.open) {
        if (window.Button1->isEnabled())
            window.Button1->click();
        else
            std::fputs("comflash: --open: Open is disabled, the tool holds no firmware image\n",
                       stderr);
    }

    if (!options.screenshot)
        return;
    const std::string file = *options.screenshot;
    const unsigned devices = options.screenshotAfter;
    if (devices == 0) {
        TakePictureAndQuit(window, file);
        return;
    }
    QObject::connect(&window, &TForm1::CountersShown, &window,
                     [&window, file, devices, taken = false](int ok, int errors) mutable {
                         if (!taken && static_cast<unsigned>(ok + errors) >= devices) {
                             taken = true;
                             TakePictureAndQuit(window, file);
                         }
                     });
}

}  // namespace

int main(int argc, char* argv[]) {
    // Ours first, so that --help and mistakes need no display.
    WindowOptions options;
    try {
        options = comflash::ParseWindowOptions(
            comflash::OwnArguments(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const comflash::UsageError& error) {
        std::fprintf(stderr, "comflash: %s\n", error.what());
        return 2;
    }
    if (options.help) {
        std::fputs(comflash::WindowUsage(comflash::kToolkitOptionsNote).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(comflash::VersionText("comflash", comflash::BuiltInImageInfo()).c_str(), stdout);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(comflash::kApplicationTitle));

    const comflash::BuiltInImageSource image;
    // The window closes its port when it goes, before the application ends.
    std::unique_ptr<TForm1> window;
    try {
        window = std::make_unique<TForm1>(image);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "comflash: cannot build the window: %s\n", error.what());
        return 1;
    }
    window->SetQuickTurnaround(options.quickTurnaround);
    window->show();
    ActAsOperator(*window, options);
    const int status = QApplication::exec();
    window.reset();
    return status;
}
