// What the operator of one port sees and answers. Every front end implements
// it once per port (the window with its controls, the command line with the
// terminal, the station window with a tile); the controller and the port
// station call it directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/serial_numbers.h"
#include "protocol/identity_reply.h"

namespace comflash {

// How a device's run ended.
enum class RunResult {
    Updated,               // End line: checksum matched
    ChecksumMismatch,      // "Write Err"
    InitRefused,           // "Init EEP Err"
    BlockRefused,          // the first "Write n Err!" of a run
    TimedOut,              // "Command Overtimer!"
    HelloRefused,          // "E0"
    HelloRefusedL3,        // "E03"
    Declined,              // "Ready Update?" answered No
    SerialWritten,         // "Write SN Completed!"
    SerialRefused,         // "Write SN Error!"
    SerialReadBackFailed,  // acknowledged, but the read-back shows another record
    Interrupted,           // the port was closed in the middle of the run
    PortLost,              // the port stopped working in the middle of it
    SerialConfirmed,       // the device holds a number whose fate was unknown
    AlreadyProvisioned,    // the device holds another number: left alone
    SerialUnknown,         // the device's number cannot be read: left alone
    SerialNotWritten,      // an identity reply came with no number held for it
    SerialUnused,          // no device: a number a port held for its next device at Close
};

// "updated", "checksum-mismatch", ...: the record's and --json's names.
const char* RunResultName(RunResult result);

// What a run is about once it starts.
enum class RunKind {
    Update,        // the Start line was written
    SerialNumber,  // a serial-number record is on its way
};

// One device whose run on a port is over.
struct FinishedDevice {
    RunResult result = RunResult::Updated;
    // Good: the device holds the image, or with provisioning its number.
    bool good = false;
    // False for a device left alone because it already holds a number: it
    // counts neither good nor failed, nor towards a number of devices.
    bool counted = true;
    // From the first frame sent to the device; 0 when nothing was sent.
    std::chrono::milliseconds duration{0};
    // The offset of the first block the device refused, if it refused one.
    std::optional<std::uint16_t> refusedBlock;
    // The number taken for the device and what became of it.
    std::optional<SettledNumber> serial;
    // What the device's identity reply said of its own number, when it came.
    std::optional<DeviceSerial> device;
};

class PortView {
public:
    virtual ~PortView() = default;

    // The log (one line per call), the progress (0 to 100) and the counters.
    virtual void AppendLog(const std::string& line) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void ShowCounters(std::int32_t okCount, std::int32_t errorCount) = 0;

    // The controller's boxes. They return only when answered, while received
    // chunks and ticks go on reaching the port; a view that never waits
    // answers at once.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;

    // The operator's choices: "Auto", the hidden "Fast" and the hidden "L3".
    virtual bool AutoChecked() = 0;
    virtual bool FastChecked() = 0;
    virtual bool L3Checked() = 0;

    // The window's hidden serial-number fields: the next number to write
    // (shown, never read back), and the read-back field Read SN empties.
    virtual void ShowNextSerialNumber(const std::string& /*number*/) {}
    virtual void ClearReadBack() {}

    // A device's run: started (after the Start line, or with its number on
    // the way), what the device said of its own number, and its end.
    virtual void RunStarted(RunKind /*kind*/, const std::string& /*serialNumber*/) {}
    virtual void DeviceIdentified(const DeviceSerial& /*device*/) {}
    virtual void RunEnded(const FinishedDevice& /*device*/) {}

    // The port stopped working (a USB adapter pulled) and is waited for;
    // then it is back and open again.
    virtual void PortLost(const std::string& /*text*/) {}
    virtual void PortBack(const std::string& /*text*/) {}
    // Something the operator must know that is no line of the controller's log.
    virtual void Notice(const std::string& /*text*/) {}

    // A step raised an error (the settings store or the record could not be
    // written, a serial number cannot be taken): the view shows it and
    // decides whether the port goes on.
    virtual void StepFailed(const std::exception& error) = 0;
};

}  // namespace comflash
