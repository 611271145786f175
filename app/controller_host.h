// What the update controller needs from its surroundings: the port, the
// operator's controls and the clock. The window implements it with widgets,
// the command line with a terminal, the tests with a recording fake.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/serial_number_source.h"
#include "protocol/identity_reply.h"

namespace comflash {

// How a device's run ended, for front ends that keep a record of devices.
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
};

const char* RunResultName(RunResult result);

class ControllerHost {
public:
    virtual ~ControllerHost() = default;

    // The port. SendData copies the bytes; its result is not looked at.
    virtual bool SendData(const std::uint8_t* data, std::uint16_t length) = 0;
    virtual void SetBaudRate(std::uint32_t baudRate) = 0;

    // The operator's view.
    virtual void AppendLog(const std::string& line) = 0;
    virtual void SetProgress(int position) = 0;  // 0 to 100
    virtual void ShowCounters(std::int32_t okCount, std::int32_t errorCount) = 0;

    // Modal boxes. They return only when answered; received chunks and timer
    // ticks that arrive meanwhile are handed to the controller at once.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;

    // The check boxes: "Auto", "Fast" (hidden) and "L3" (hidden).
    virtual bool AutoChecked() = 0;
    virtual bool FastChecked() = 0;
    virtual bool L3Checked() = 0;

    // The serial-number field and the read-back field.
    virtual std::string SerialNumberText() = 0;
    virtual void SetSerialNumberText(const std::string& text) = 0;
    virtual void ClearReadBack() = 0;

    virtual std::chrono::system_clock::time_point Now() = 0;

    // The port's name, for the record of which port took a serial number.
    virtual std::string PortName() { return {}; }

    // Notices for front ends that follow devices; the window needs none.
    virtual void UpdateStarted() {}
    virtual void RunFinished(RunResult /*result*/) {}
    // What became of a serial number sent to the device; before RunFinished.
    virtual void SerialNumberSettled(const std::string& /*number*/, SerialFate /*fate*/) {}

    // What the identity reply says of the device's own serial number; before
    // TakeIdentityReply.
    virtual void IdentityRead(const DeviceSerial& /*serial*/) {}

    // A front end that provisions serial numbers instead of updating takes
    // the identity reply itself (returns true); otherwise the update starts.
    virtual bool TakeIdentityReply() { return false; }

    // A front end that serves one device at a time across several ports says
    // when it cannot take another; the hello then goes unanswered and the
    // device says it again.
    virtual bool ReadyForDevice() { return true; }
};

}  // namespace comflash
