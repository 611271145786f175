#include "frontend/station_run.h"

#include <algorithm>

#include "app/serial_number.h"
#include "protocol/crc16.h"

namespace comflash {
namespace {

// --line, else COMFLASH_LINE, else (a program that remembers it) the stored
// "Line"; --line remembered there (an empty one forgets).
std::unique_ptr<LineLink> OpenLine(const LineChoice& choice, const SettingsStore& settings,
                                   LinePolicy policy) {
    if (policy == LinePolicy::None)
        return nullptr;
    std::string remembered;
    if (policy == LinePolicy::Remembered) {
        if (choice.address)
            settings.WriteSetting(kLineSetting, *choice.address);
        remembered = settings.ReadSetting(kLineSetting);
    }
    const auto address = ChosenLine(choice, remembered);
    if (!address)
        return nullptr;
    return LineLink::Open(*address, choice, settings);
}

}  // namespace

StationRun::StationRun(const RunOptions& options, Dispatcher& owner, LinePolicy policy)
    : options_(options),
      writingSerialNumbers_(options.writeSerialNumbers),
      line_(OpenLine(options.line, settings_, policy)),
      numbers_(line_ ? line_->SerialNumbers() : storedNumbers_, owner) {
    if (options.record)
        record_.emplace(*options.record);
    settings_.OnLockWait(
        [this, &owner, alive = std::weak_ptr<bool>(alive_)](const std::string& text) {
            owner.Post([this, alive, text] {
                if (!alive.expired() && notice_)
                    notice_(text);
            });
        });
    numbers_.OnUnusedNumber([this](const std::string& port, const SettledNumber& settled) {
        RecordUnusedNumber(port, settled);
    });
    // Without the line, a series this station provisioned through it stays
    // the line's, unless the operator says otherwise.
    if (!line_) {
        numbers_.GuardWrites([this](const std::string& number) {
            CheckStandaloneWrite(settings_, number, options_.line.standalone);
        });
    }
}

ImageLoadResult StationRun::LoadImage(const ImageSource& source) {
    const ImageLoadResult result = LoadEmbeddedImage(source, *image_);
    imageCrc_ = Crc16Ccitt({image_->Data.data(), image_->Length});
    return result;
}

StationParts StationRun::Parts() {
    StationParts parts{*image_, imageCrc_, numbers_, {}};
    if (record_)
        parts.records.push_back(&*record_);
    if (line_)
        parts.records.push_back(&line_->Record());
    return parts;
}

StationRules StationRun::Rules(bool reopenWhenLost, std::optional<unsigned> devices) const {
    return StationRules{.devices = devices,
                        .reopenWhenLost = reopenWhenLost,
                        .provisioning = writingSerialNumbers_,
                        .overwriteSerialNumbers = options_.overwriteSerialNumbers,
                        .readBackSerialNumbers = options_.verifySerialNumbers,
                        .quickTurnaround = options_.quickTurnaround};
}

// The stored number names the series, on a line too.
void StationRun::CheckReadyToOpen() const {
    if (!writingSerialNumbers_)
        return;
    const std::string next = storedNumbers_.Next();
    CheckStoredSerialNumber(next, settings_.Location());
    if (!line_)
        CheckStandaloneWrite(settings_, next, options_.line.standalone);
}

std::string StationRun::LineStation() const {
    return line_ ? line_->Station() : std::string();
}

StationRun::Joined StationRun::JoinLine(std::chrono::milliseconds within) {
    if (!line_)
        return {true, {}};
    if (!line_->WaitReachable(within))
        return {false, LineChange().value_or("line database unreachable")};
    std::string text = "line database: station " + line_->Station();
    if (writingSerialNumbers_) {
        try {
            text += ", next serial number " + line_->Join();
        } catch (const SerialNumberError&) {
            throw;
        } catch (const std::exception&) {
            // Gone again at once: said by the next look at its state.
        }
    }
    return {true, text};
}

std::optional<std::string> StationRun::LineChange() {
    if (!line_)
        return std::nullopt;
    const auto change = line_->StateChange();
    if (!change)
        return std::nullopt;
    lineAway_ = change->starts_with("line database unreachable");
    if (!lineAway_)
        return change;
    return *change + (writingSerialNumbers_ ? ": hellos go unanswered until it is back"
                                            : ": device rows wait on disk until it is back");
}

std::string StationRun::LineStateText() const {
    if (!line_)
        return {};
    return lineAway_ ? std::string("line database unreachable")
                     : "line database: station " + line_->Station();
}

StationRun::Ending StationRun::Finish(std::chrono::milliseconds lineWait) {
    numbers_.Finish();
    Ending ending{numbers_.Summary(), problems_};
    if (line_) {
        if (const std::string waiting = line_->Flush(lineWait); !waiting.empty())
            ending.notices.push_back(waiting);
    }
    return ending;
}

// A number a port held for its next device when it closed: no device, but
// its fate belongs in the record like any other number's.
void StationRun::RecordUnusedNumber(const std::string& port, const SettledNumber& settled) {
    FinishedDevice unused;
    unused.result = RunResult::SerialUnused;
    unused.counted = false;
    unused.serial = settled;
    const DeviceRecord record = RecordOf(port, unused, image_->Length, imageCrc_);
    for (DeviceRecorder* recorder : Parts().records) {
        try {
            recorder->Append(record);
        } catch (const std::exception& error) {
            problems_.push_back("SN " + settled.number + " (" + SerialFateName(settled.fate) +
                                ") is missing from the record: " + error.what());
        }
    }
}

}  // namespace comflash
