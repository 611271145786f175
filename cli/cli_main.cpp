#include "cli/cli_main.h"

#include <clocale>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/device_record.h"
#include "app/json_line.h"
#include "app/serial_number.h"
#include "app/serial_provisioning.h"
#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/platform.h"
#include "cli/port_runner.h"
#include "cli/signal_stop.h"
#include "frontend/line_link.h"
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

// The image of the run: the built-in one, or the text named on the command
// line through the same loader and checks.
bool LoadImage(const CliOptions& options, FirmwareImage& image, std::ostream& err) {
    std::unique_ptr<ImageSource> source;
    if (options.imageText) {
        source = std::make_unique<FileImageSource>(*options.imageText);
    } else {
        source = std::make_unique<BuiltInImageSource>();
    }
    const ImageLoadResult result = LoadEmbeddedImage(*source, image);
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
    if (!LoadImage(options, *image, err))
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

LineChoice LineChoiceOf(const CliOptions& options) {
    return LineChoice{options.line, options.station, options.standalone};
}

// The stored number must be one the tool can write and advance, before any
// port opens.
void CheckFirstSerialNumber(const SerialNumberSource& numbers, const SettingsStore& settings) {
    const std::string text = numbers.Next();
    if (!SerialNumberLongEnough(text)) {
        throw SerialNumberError("Write SN Disable! The stored serial number '" + text +
                                "' is shorter than 6 characters: store the first number with "
                                "comflash-cli --set-sn TEXT (it lives in " +
                                settings.Location() + ")");
    }
    CheckSerialNumberWritable(text);
}

class CliRun {
public:
    CliRun(const CliOptions& options, std::ostream& out, std::ostream& err)
        : options_(options),
          err_(err),
          console_(
              {options.json, options.ports.size() > 1, !options.json && StandardOutputIsTerminal()},
              out, err) {}

    int Run() {
        if (!LoadImage(options_, image_, err_) || !ImageIsTheExpectedOne(options_, image_, err_))
            return kExitSetup;
        if (const auto address = ChosenLine(LineChoiceOf(options_)))
            line_ = LineLink::Open(*address, LineChoiceOf(options_), settings_);
        SerialNumberSource& numbers = line_ ? line_->SerialNumbers() : storedNumbers_;
        if (options_.writeSerialNumbers) {
            // The stored number names the series, with the line too.
            CheckFirstSerialNumber(storedNumbers_, settings_);
            if (!line_)
                CheckStandaloneWrite(settings_, storedNumbers_.Next(), options_.standalone);
            provisioning_.emplace(numbers);
        }
        if (options_.record)
            record_.emplace(*options_.record);
        if (line_)
            JoinLine();

        SignalStop signals(loop_);
        context_.emplace(RunContext{
            options_, image_, settings_, numbers, console_, record_ ? &*record_ : nullptr,
            provisioning_ ? &*provisioning_ : nullptr,
            Crc16Ccitt({image_.Data.data(), image_.Length}), [this] { OnDeviceFinished(); },
            [this] { OnFatal(); }, line_ ? &line_->Record() : nullptr});
        for (const auto& port : options_.ports) {
            runners_.push_back(std::make_unique<PortRunner>(port, loop_, *context_));
        }
        for (const auto& runner : runners_) {
            try {
                runner->Open();
            } catch (const ECommsError& e) {
                console_.Error(runner->Port(), e.TextWithReason());
                return kExitSetup;
            }
        }
        loop_.AddTimer(kTimer1Period, [this] {
            SayLineState();
            for (const auto& runner : runners_)
                runner->Tick1();
        });
        loop_.AddTimer(kTimer2Period, [this] {
            for (const auto& runner : runners_)
                runner->Tick2();
        });

        loop_.Run();
        // The last finish command leaves and the line returns to 9600 baud.
        if (allDone_ && !fatal_)
            loop_.RunFor(std::chrono::milliseconds(150));
        return Finish();
    }

private:
    // Waits a little for the line at the start, so that the first devices do
    // not find it still connecting; with serial numbers, says where the
    // series stands.
    void JoinLine() {
        if (!line_->WaitReachable(kLineStartWait)) {
            SayLineState();
            return;
        }
        std::string text = "line database: station " + line_->Station();
        if (options_.writeSerialNumbers) {
            try {
                text += ", next serial number " + line_->Join();
            } catch (const SerialNumberError&) {
                throw;
            } catch (const std::exception&) {
                // Gone again at once: said by the next look at its state.
            }
        }
        console_.RunNotice(text);
    }

    // "line database unreachable" once when it goes, and once when it is back.
    void SayLineState() {
        if (!line_)
            return;
        if (const auto change = line_->StateChange()) {
            std::string text = *change;
            if (text.starts_with("line database unreachable"))
                text += options_.writeSerialNumbers ? ": hellos go unanswered until it is back"
                                                    : ": device rows wait on disk until it is back";
            console_.RunNotice(text);
        }
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
            console_.Summary(runner->Port());
            failed = failed || runner->FailedDevices() > 0;
        }
        if (provisioning_)
            console_.RunSummary(provisioning_->Summary());
        if (line_) {
            const std::string waiting = line_->Flush(kLineFlushWait);
            if (!waiting.empty())
                console_.RunNotice(waiting);
        }
        return failed ? kExitFailed : kExitOk;
    }

    const CliOptions& options_;
    std::ostream& err_;
    Console console_;
    FirmwareImage image_;
    SettingsStore settings_;
    StoredSerialNumbers storedNumbers_{settings_};
    std::unique_ptr<LineLink> line_;  // --line or COMFLASH_LINE
    std::optional<SerialProvisioning> provisioning_;
    std::optional<RecordFile> record_;
    EventLoop loop_;
    // The runners hold on to the context: it must outlive them.
    std::optional<RunContext> context_;
    std::vector<std::unique_ptr<PortRunner>> runners_;
    bool allDone_ = false;
    bool fatal_ = false;
};

// --set-sn and --show-sn: the stored next number, without editing files. On
// a line, --show-sn joins the series and shows the line's next number.
int SerialNumberCommand(const CliOptions& options, std::ostream& out) {
    const SettingsStore settings;
    StoredSerialNumbers numbers(settings);
    if (options.setSerialNumber)
        numbers.SetNext(*options.setSerialNumber, options.force);
    std::string next = numbers.Next();
    if (options.showSerialNumber && !next.empty()) {
        if (const auto address = ChosenLine(LineChoiceOf(options))) {
            const auto line = LineLink::Open(*address, LineChoiceOf(options), settings);
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
            return SerialNumberCommand(options, out);
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
