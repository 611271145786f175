#include "cli/cli_main.h"

#include <clocale>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/json_line.h"
#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/platform.h"
#include "cli/port_runner.h"
#include "cli/signal_stop.h"
#include "frontend/line_link.h"
#include "frontend/station_run.h"
#include "frontend/version_text.h"
#include "image/builtin_image_source.h"
#include "image/image_info.h"
#include "image/image_loader.h"
#include "protocol/crc16.h"
#include "serial/event_loop.h"

namespace comflash::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitSetup = 2;

// Whether the image of the run decoded; says why not.
bool ImageLoaded(const CliOptions& options, ImageLoadResult result, std::ostream& err) {
    if (result == ImageLoadResult::Loaded)
        return true;
    err << "comflash-cli: the image text "
        << (options.imageText ? options.imageText->string() + " " : std::string())
        << (result == ImageLoadResult::TooLong ? "holds an image longer than 65280 bytes"
                                               : "does not decode (damaged or not an image text)")
        << ": no device can be updated\n";
    return false;
}

// --image-info: the image the run would write, as text or one JSON object.
int ShowImageInfo(const CliOptions& options, std::ostream& out, std::ostream& err) {
    auto image = std::make_unique<FirmwareImage>();
    std::unique_ptr<ImageSource> source;
    if (options.imageText)
        source = std::make_unique<FileImageSource>(*options.imageText);
    else
        source = std::make_unique<BuiltInImageSource>();
    if (!ImageLoaded(options, LoadEmbeddedImage(*source, *image), err))
        return kExitSetup;
    ImageInfo info = DescribeImage(*image);
    if (options.imageText)
        info.imageText = options.imageText->string();
    else
        info.firmware = BuiltInFirmwareName();
    if (!options.json) {
        out << ImageInfoText(info);
        return kExitOk;
    }
    JsonObject json;
    json["firmware"] = info.firmware.empty() ? JsonObject() : JsonObject(info.firmware);
    json["image_text"] = info.imageText.empty() ? JsonObject() : JsonObject(info.imageText);
    json["length"] = info.length;
    json["image_crc"] = ImageCrcText(info.crc);
    json["sha256"] = info.sha256;
    out << JsonLine(json) << "\n";
    return kExitOk;
}

// --expect-image-crc: a line's work instructions pin the firmware; any other
// image is refused before a port is opened.
bool ImageIsTheExpectedOne(const CliOptions& options, const FirmwareImage& image,
                           std::ostream& err) {
    if (!options.expectedCrc)
        return true;
    const std::uint16_t crc = Crc16Ccitt({image.Data.data(), image.Length});
    if (crc == *options.expectedCrc)
        return true;
    err << "comflash-cli: the image to write has CRC-16 " << ImageCrcText(crc)
        << ", but --expect-image-crc asks for " << ImageCrcText(*options.expectedCrc)
        << ": not starting (comflash-cli --image-info shows the image)\n";
    return false;
}

// How long a run waits for the line database at its start before it says the
// line is unreachable and goes on without it (serial numbers paused).
constexpr std::chrono::seconds kLineStartWait{5};
// How long the end of a run waits for the line database to take what the
// station owes it.
constexpr std::chrono::seconds kLineFlushWait{10};
// The last finish command leaves and the line returns to 9600 baud.
constexpr std::chrono::milliseconds kLastDeviceSettle{150};

class CliRun {
public:
    CliRun(const CliOptions& options, std::ostream& out, std::ostream& err)
        : options_(options),
          err_(err),
          console_({options.json, options.run.ports.size() > 1,
                    !options.json && StandardOutputIsTerminal()},
                   out, err) {}

    int Run() {
        // Before any thread starts: the stop signals end the run in order.
        SignalStop signals(loop_);
        run_.emplace(options_.run, loop_, LinePolicy::Given);
        run_->OnNotice([this](const std::string& text) { console_.RunNotice(text); });
        if (!LoadImage() || !ImageIsTheExpectedOne(options_, run_->Image(), err_))
            return kExitSetup;
        run_->CheckReadyToOpen();
        if (run_->OnLine())
            console_.RunNotice(run_->JoinLine(kLineStartWait).text);

        for (const auto& port : options_.run.ports) {
            runners_.push_back(std::make_unique<PortRunner>(
                port, loop_, run_->Parts(), run_->Rules(true, options_.devices),
                PortChoices{options_.fast, options_.l3}, console_,
                PortEvents{[this] { OnDeviceFinished(); }, [this] { OnFatal(); }}));
        }
        for (const auto& runner : runners_) {
            try {
                runner->Open();
            } catch (const ECommsError& e) {
                runner->Problem(e.TextWithReason());
                return kExitSetup;
            }
        }
        loop_.AddTimer(kTimer1Period, [this] {
            if (const auto change = run_->LineChange())
                console_.RunNotice(*change);
            for (const auto& runner : runners_)
                runner->Tick1();
        });
        loop_.AddTimer(kTimer2Period, [this] {
            for (const auto& runner : runners_)
                runner->Tick2();
        });

        loop_.Run();
        if (allDone_ && !fatal_)
            loop_.RunFor(kLastDeviceSettle);
        return Finish();
    }

private:
    // The image of the run: the built-in one, or the text named on the
    // command line through the same loader and checks.
    bool LoadImage() {
        std::unique_ptr<ImageSource> source;
        if (options_.imageText)
            source = std::make_unique<FileImageSource>(*options_.imageText);
        else
            source = std::make_unique<BuiltInImageSource>();
        return ImageLoaded(options_, run_->LoadImage(*source), err_);
    }

    void OnDeviceFinished() {
        if (!options_.devices)
            return;
        for (const auto& runner : runners_) {
            if (runner->FinishedDevices() < *options_.devices)
                return;
        }
        allDone_ = true;
        for (const auto& runner : runners_)
            runner->Retire();
        loop_.Quit();
    }

    void OnFatal() {
        fatal_ = true;
        loop_.Quit();
    }

    int Finish() {
        bool failed = fatal_;
        for (const auto& runner : runners_) {
            runner->Close();
            runner->Summary();
            failed = failed || runner->FailedDevices() > 0;
        }
        const StationRun::Ending ending = run_->Finish(kLineFlushWait);
        console_.RunSummary(ending.summary);
        for (const auto& notice : ending.notices)
            console_.RunNotice(notice);
        return failed ? kExitFailed : kExitOk;
    }

    const CliOptions& options_;
    std::ostream& err_;
    Console console_;
    EventLoop loop_;
    // The runners are built on the run: it must outlive them.
    std::optional<StationRun> run_;
    std::vector<std::unique_ptr<PortRunner>> runners_;
    bool allDone_ = false;
    bool fatal_ = false;
};

// --set-sn and --show-sn: the stored next number, without editing files. On
// a line, --show-sn joins the series and shows the line's next number.
int SerialNumberCommand(const CliOptions& options, std::ostream& out, std::ostream& err) {
    const SettingsStore settings;
    StoredSerialNumbers numbers(settings);
    if (options.setSerialNumber) {
        const SetNextReport report = numbers.SetNext(*options.setSerialNumber, options.force);
        if (report.reopened > 0) {
            err << "comflash-cli: --force reopens " << report.reopened
                << (report.reopened == 1 ? " number" : " numbers") << " (" << *options.setSerialNumber
                << " to " << report.highest << ") that may already be in devices\n";
        }
        for (const auto& number : report.passedOver) {
            err << "comflash-cli: " << number
                << " is still taken or unconfirmed: it is passed over, never handed out again; "
                   "check the device that may hold it\n";
        }
    }
    std::string next = numbers.Next();
    if (options.showSerialNumber && !next.empty()) {
        if (const auto address = ChosenLine(options.run.line)) {
            const auto line = LineLink::Open(*address, options.run.line, settings);
            if (!line->WaitReachable(kLineStartWait))
                throw std::runtime_error(line->StateChange().value_or("line database unreachable"));
            next = line->Join();
        }
    }
    if (options.showSerialNumber || options.setSerialNumber)
        out << (next.empty() ? "no serial number stored" : next) << "\n";
    return kExitOk;
}

}  // namespace

int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
    std::setlocale(LC_TIME, "");
    CliOptions options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& e) {
        err << "comflash-cli: " << e.what() << " (comflash-cli --help lists the options)\n";
        return kExitSetup;
    }
    if (options.help) {
        out << Usage();
        return kExitOk;
    }
    if (options.version) {
        out << VersionText("comflash-cli", BuiltInImageInfo());
        return kExitOk;
    }
    if (options.listPorts) {
        ListPorts(out);
        return kExitOk;
    }
    try {
        if (options.imageInfo)
            return ShowImageInfo(options, out, err);
        if (options.setSerialNumber || options.showSerialNumber)
            return SerialNumberCommand(options, out, err);
        return CliRun(options, out, err).Run();
    } catch (const ERegistryException& e) {
        err << "comflash-cli: " << e.what() << (e.Detail().empty() ? "" : " (" + e.Detail() + ")")
            << "\n";
    } catch (const std::exception& e) {
        err << "comflash-cli: " << e.what() << "\n";
    }
    return kExitSetup;
}

}  // namespace comflash::cli
