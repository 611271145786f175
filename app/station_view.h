// What a port station shows and asks: every front end (the window, the
// command line, the station window) implements this and nothing else of the
// port.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/port_provisioning.h"
#include "protocol/identity_reply.h"

namespace comflash {

// One device whose run on a port is over.
struct FinishedDevice {
    // RunResultName of the controller's result, or "interrupted" (the port was
    // closed in the middle of the run), "port-lost" (the port stopped working
    // in the middle of it), "serial-not-written" (an identity reply came with
    // no number taken for it).
    std::string result;
    // Good: the device holds the image, or with provisioning its number.
    bool good = false;
    // From the first frame sent to the device; 0 when nothing was sent.
    std::chrono::milliseconds duration{0};
    // Provisioning: the number taken for the device and what became of it.
    std::optional<SettledNumber> serial;
    // What the device's identity reply said of its own number, when it came.
    std::optional<DeviceSerial> device;
    // False for a device left alone because it already holds a number: it
    // counts neither good nor failed, nor towards a number of devices.
    bool counted = true;
};

class StationView {
public:
    virtual ~StationView() = default;

    // The log (one line per call), the progress (0 to 100) and the counters.
    virtual void AppendLog(const std::string& line) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void ShowCounters(std::int32_t okCount, std::int32_t errorCount) = 0;

    // The controller's boxes. They return only when answered, while received
    // chunks and ticks go on reaching the station; a view that never waits
    // answers at once.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;

    // The operator's choices: "Auto", the hidden "Fast" and the hidden "L3".
    virtual bool AutoChecked() = 0;
    virtual bool FastChecked() = 0;
    virtual bool L3Checked() = 0;

    // The window's hidden serial-number field and read-back field.
    virtual std::string SerialNumberText() { return {}; }
    virtual void SetSerialNumberText(const std::string& /*text*/) {}
    virtual void ClearReadBack() {}

    // Notices for views that follow the devices.
    virtual void UpdateStarted() {}
    virtual void SerialNumberSent(const std::string& /*number*/) {}
    // The device's own serial number, from its identity reply: when an update
    // starts (after the Start line), or when provisioning looks at it.
    virtual void DeviceIdentified(const DeviceSerial& /*device*/) {}
    virtual void DeviceFinished(const FinishedDevice& /*device*/) {}
    // The port stopped working (a USB adapter pulled) and is waited for;
    // then it is back and open again, and `said` tells which adapter it has
    // now (see PortBackText).
    virtual void PortLost() {}
    virtual void PortBack(const std::string& /*said*/) {}
    // Something the operator must know that is no line of the log.
    virtual void Notice(const std::string& /*text*/) {}

    // A step of the controller raised an error (the settings store or the
    // record file could not be written, a serial number cannot be advanced):
    // the view shows it and decides whether the run goes on.
    virtual void StepFailed(const std::exception& error) = 0;
};

}  // namespace comflash
