// What a run shares over all its ports, assembled once for every front end
// (comflash-cli, comflash-station, the window, the Windows windows): the
// image and its CRC, the settings store, the number source (the store's, or
// the line database's) and its one owner of serial numbers, the record file,
// the line link and what is said of it, the first-number check and the end
// of the run. Front ends keep only their options and their views; each
// message below is worded here once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/device_record.h"
#include "app/port_station.h"
#include "app/serial_numbers.h"
#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "frontend/line_link.h"
#include "frontend/run_options.h"
#include "image/image_loader.h"
#include "image/image_source.h"
#include "protocol/firmware_image.h"
#include "serial/dispatcher.h"

namespace comflash {

// The line database as the station window keeps it, beside "Ports".
inline constexpr char kLineSetting[] = "Line";

// Whether a front end works on a line database, and where it learns which.
enum class LinePolicy {
    None,        // the window: never (its serial numbers are the store's)
    Given,       // comflash-cli: --line, else COMFLASH_LINE
    Remembered,  // the station window: that, else the stored "Line"
};

class StationRun {
public:
    // Opens the record file (raising std::runtime_error when it cannot) and
    // the line as `policy` says: --line, else COMFLASH_LINE, else the stored
    // "Line" (which --line replaces; an empty one forgets it). Raises
    // UsageError or the line's error when the line cannot be used. The
    // desk's answers run on `owner`'s thread.
    StationRun(const RunOptions& options, Dispatcher& owner, LinePolicy policy);
    StationRun(const StationRun&) = delete;
    StationRun& operator=(const StationRun&) = delete;

    // The image every port writes, read from `source` (the front end says
    // when: the window does it at its start-up step).
    ImageLoadResult LoadImage(const ImageSource& source);
    const FirmwareImage& Image() const { return *image_; }
    std::uint16_t ImageCrc() const { return imageCrc_; }

    const SettingsStore& Settings() const { return settings_; }
    SerialNumbers& Numbers() { return numbers_; }

    bool WritingSerialNumbers() const { return writingSerialNumbers_; }
    void SetWritingSerialNumbers(bool writing) { writingSerialNumbers_ = writing; }

    // What every port station of the run is built with. `reopenWhenLost`
    // and `devices` are the front end's own rules.
    StationParts Parts();
    StationRules Rules(bool reopenWhenLost, std::optional<unsigned> devices = std::nullopt) const;

    // Before ports open in serial-number mode: raises SerialNumberError
    // when the stored number cannot start a series, or may not be written
    // here (a series this station provisioned through the line, without
    // --standalone).
    void CheckReadyToOpen() const;

    // The line database, if the run works on one.
    bool OnLine() const { return line_ != nullptr; }
    std::string LineStation() const;
    // Waits up to `within` for the line at the start, so that the first
    // devices do not find it still connecting. What to say of it: the
    // station and, in serial-number mode, where the series stands; or why it
    // is unreachable and what waits.
    struct Joined {
        bool reached = false;
        std::string text;
    };
    Joined JoinLine(std::chrono::milliseconds within);
    // Once when the line goes away and once when it is back: what to say.
    std::optional<std::string> LineChange();
    // The line's state in a few words, for a label.
    std::string LineStateText() const;

    // Something the whole run must tell the operator as it happens (a
    // settings lock another process holds); runs on the owner's thread.
    void OnNotice(std::function<void(const std::string& text)> notice) {
        notice_ = std::move(notice);
    }

    // The end of the run, after every port is closed: every serial number
    // settled and recorded, what still waits for the line sent to it for at
    // most `lineWait`.
    struct Ending {
        std::string summary;               // of the serial numbers; empty when none was taken
        std::vector<std::string> notices;  // what still waits for the line, a lost record
    };
    Ending Finish(std::chrono::milliseconds lineWait);

private:
    void RecordUnusedNumber(const std::string& port, const SettledNumber& settled);

    RunOptions options_;
    bool writingSerialNumbers_;
    SettingsStore settings_;
    StoredSerialNumbers storedNumbers_{settings_};
    std::unique_ptr<LineLink> line_;
    std::optional<RecordFile> record_;
    std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
    std::uint16_t imageCrc_ = 0;
    bool lineAway_ = false;
    std::function<void(const std::string&)> notice_;
    std::vector<std::string> problems_;  // records that could not be written
    // Notices posted from the desk's thread do nothing once the run is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: its desk's thread ends before the rest goes.
    SerialNumbers numbers_;
};

}  // namespace comflash
