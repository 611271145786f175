// One port station: a serial port (TComm) and the update controller that
// drives it, below every front end. It opens and closes the port as the Open
// and Close buttons do, sets up the line, takes the two ticks, wires the
// received chunks to the controller, follows each device to the end of its
// run (with provisioning, the record, and a port that goes away), and reports
// all of it to a StationView.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/controller_host.h"
#include "app/device_line.h"
#include "app/device_record.h"
#include "app/port_provisioning.h"
#include "app/serial_number_source.h"
#include "app/serial_provisioning.h"
#include "app/station_view.h"
#include "app/update_session.h"
#include "protocol/firmware_image.h"
#include "serial/comm.h"
#include "serial/dispatcher.h"

namespace comflash {

// The periods of the controller's two ticks.
inline constexpr std::chrono::milliseconds kTimer1Period{1000};  // reply time-out
inline constexpr std::chrono::milliseconds kTimer2Period{20};    // short delays

// What every station of a process shares; it outlives them.
struct StationShared {
    const FirmwareImage& image;
    SerialNumberSource& serialNumbers;
    // Writing serial numbers into the devices instead of updating them, one
    // port at a time.
    SerialProvisioning* provisioning = nullptr;
    RecordFile* record = nullptr;  // one line per finished device
    std::uint16_t imageCrc = 0;    // for the record
    // The line database's record, besides the file: one row per finished device.
    DeviceRecorder* lineRecord = nullptr;
};

// How a station treats its port.
struct StationRules {
    // Answer no hello once this many devices have finished.
    std::optional<unsigned> devices;
    // A port that stops working is closed, and opened again once it is back.
    // Without this the run ends by the reply time-out and the operator opens
    // the port again, as in the window.
    bool reopenWhenLost = false;
    // Provisioning: write a device that already holds a number all the same.
    bool overwriteSerialNumbers = false;
    // Provisioning: read an acknowledged record back before it counts.
    bool readBackSerialNumbers = false;
    // At the update rate, take each reply at its last byte instead of after
    // the line's 30 ms grouping interval (see SetDeviceLineRate).
    bool quickTurnaround = false;
};

class PortStation final : private ControllerHost {
public:
    PortStation(Dispatcher& dispatcher, const StationShared& shared, StationView& view,
                StationRules rules = {});
    // Closes the port first, so no serial thread outlives the station.
    ~PortStation() override;
    PortStation(const PortStation&) = delete;
    PortStation& operator=(const PortStation&) = delete;

    // As the Open button does: the controller back to waiting for a hello,
    // 9600 baud, the port opened by its name, the block length set. Raises
    // ECommsError; the controller then stays reset and the port keeps the name.
    void Open(const std::string& port);
    // As the Close button does; a device left in the middle of its run is
    // finished as "interrupted".
    void Close();
    bool IsOpen() const { return comm_.IsOpen(); }
    // The run is over: a port that goes away now is no news.
    void Retire() { comm_.OnRequestHangup = nullptr; }

    void Tick1();  // every kTimer1Period
    void Tick2();  // every kTimer2Period

    // Writing serial numbers with the process's shared provisioning, or
    // updating (nullptr). Only while the port is closed.
    void SetProvisioning(SerialProvisioning* shared);

    // The hidden Read SN and Write SN buttons; raise as the controller does.
    void ReadSerialNumber() { session_.ReadSerialNumber(); }
    void WriteSerialNumber() { session_.WriteSerialNumber(); }

    TComm& Comm() { return comm_; }
    const TComm& Comm() const { return comm_; }
    const UpdateSession& Session() const { return session_; }
    // The window chooses it after the station is built; takes effect at the
    // next change of the line's rate.
    void SetQuickTurnaround(bool on) { rules_.quickTurnaround = on; }
    bool QuickTurnaround() const { return rules_.quickTurnaround; }
    unsigned FinishedDevices() const { return finished_; }
    unsigned FailedDevices() const { return failed_; }
    // The port went away and is tried again every Tick1.
    bool WaitingForReturn() const { return waitingForReturn_; }

private:
    // ControllerHost: the port and the view.
    bool SendData(const std::uint8_t* data, std::uint16_t length) override;
    void SetBaudRate(std::uint32_t baudRate) override {
        SetDeviceLineRate(comm_, baudRate, rules_.quickTurnaround);
    }
    void AppendLog(const std::string& line) override { view_.AppendLog(line); }
    void SetProgress(int position) override { view_.SetProgress(position); }
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override {
        view_.ShowCounters(okCount, errorCount);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        return view_.AskYesNo(text, title);
    }
    void ShowMessage(const std::string& text, const std::string& title) override {
        view_.ShowMessage(text, title);
    }
    bool AutoChecked() override { return view_.AutoChecked(); }
    bool FastChecked() override { return view_.FastChecked(); }
    bool L3Checked() override { return view_.L3Checked(); }
    std::string SerialNumberText() override { return view_.SerialNumberText(); }
    void SetSerialNumberText(const std::string& text) override { view_.SetSerialNumberText(text); }
    void ClearReadBack() override { view_.ClearReadBack(); }
    std::chrono::system_clock::time_point Now() override {
        return std::chrono::system_clock::now();
    }
    std::string PortName() override { return comm_.CommName(); }
    void UpdateStarted() override;
    void IdentityRead(const DeviceSerial& serial) override;
    void RunFinished(RunResult result) override;
    void SerialNumberSettled(const std::string& number, SerialFate fate) override;
    bool TakeIdentityReply() override;
    bool ReadyForDevice() override;

    // Runs a controller step; an error it raises goes to the view.
    template <typename Step>
    void Guarded(Step step);
    bool ServedAllDevices() const;
    void OnPortLost();
    void TryReopen();
    void CountDevice(const std::string& result, bool good);
    // The number taken goes back and the line returns to the hello rate.
    void WriteNothing(const std::string& taken);
    // The device already holds a number: left alone, counted neither way.
    void LeaveAlone(const std::string& number, const std::string& taken);
    // The source cannot tell what the device's number is to it: the device
    // waits for a later hello, neither written nor counted.
    void PutOff(const std::string& number, const std::string& taken, const std::string& why);
    // What provisioning does with the number taken at the hello, once the
    // device has said what it holds.
    void Provision(const std::string& taken);
    void Record(const FinishedDevice& device) const;

    StationShared shared_;
    StationView& view_;
    StationRules rules_;
    TComm comm_;
    UpdateSession session_;
    std::optional<PortProvisioning> provisioning_;
    std::optional<DeviceSerial> deviceSerial_;  // of the current device

    bool waitingForReturn_ = false;  // the port vanished; reopened once it is back
    AdapterIdentity lostAdapter_;    // the adapter the port had when it vanished
    bool runActive_ = false;         // something was sent to the current device
    std::chrono::steady_clock::time_point runStart_;
    unsigned finished_ = 0;
    unsigned failed_ = 0;
};

}  // namespace comflash
