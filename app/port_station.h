// One port station: a serial port (TComm) and the update controller that
// drives it, below every front end. It opens and closes the port as the Open
// and Close buttons do, sets up the line, takes the two ticks, wires the
// received chunks to the controller, and follows each device to the end of
// its run: its serial number (with the port's numbers), its record, and a
// port that goes away. The controller reports to the port's view itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_host.h"
#include "app/device_line.h"
#include "app/device_record.h"
#include "app/port_view.h"
#include "app/serial_numbers.h"
#include "app/update_session.h"
#include "protocol/firmware_image.h"
#include "serial/comm.h"
#include "serial/dispatcher.h"

namespace comflash {

// The periods of the controller's two ticks.
inline constexpr std::chrono::milliseconds kTimer1Period{1000};  // reply time-out
inline constexpr std::chrono::milliseconds kTimer2Period{20};    // short delays

// What every station of a run shares; it outlives them.
struct StationParts {
    const FirmwareImage& image;
    std::uint16_t imageCrc = 0;  // for the record
    SerialNumbers& numbers;
    // Where finished devices go: the --record file, the line database's rows.
    std::vector<DeviceRecorder*> records;
};

// How a station treats its port.
struct StationRules {
    // Answer no hello once this many devices have finished.
    std::optional<unsigned> devices;
    // A port that stops working is closed, and opened again once it is back.
    // Without this the run ends by the reply time-out and the operator opens
    // the port again, as in the window.
    bool reopenWhenLost = false;
    // Writing serial numbers into every device instead of updating it.
    bool provisioning = false;
    // Provisioning: write a device that already holds a number all the same.
    bool overwriteSerialNumbers = false;
    // Provisioning: read an acknowledged record back before it counts.
    bool readBackSerialNumbers = false;
    // At the update rate, take each reply at its last byte instead of after
    // the line's 30 ms grouping interval (see SetDeviceLineRate).
    bool quickTurnaround = false;
};

// What the operator is told when a port stops working and comes back.
inline constexpr const char* kPortLostText =
    "the port stopped working (device or cable gone?): waiting for it to return";

class PortStation final : private ControllerHost {
public:
    PortStation(Dispatcher& dispatcher, const StationParts& parts, PortView& view,
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
    // finished as "interrupted", and a serial number the port held for its
    // next device goes back.
    void Close();
    bool IsOpen() const { return comm_.IsOpen(); }
    // The run is over: a port that goes away now is no news.
    void Retire() { comm_.OnRequestHangup = nullptr; }

    void Tick1();  // every kTimer1Period
    void Tick2();  // every kTimer2Period

    // Writing serial numbers or updating; only while the port is closed.
    void SetProvisioning(bool on);
    bool Provisioning() const { return rules_.provisioning; }

    // The hidden Read SN and Write SN buttons; raise as the controller does.
    void ReadSerialNumber() { session_.ReadSerialNumber(); }
    void WriteSerialNumber() { session_.WriteSerialNumber(); }

    TComm& Comm() { return comm_; }
    const TComm& Comm() const { return comm_; }
    const UpdateSession& Session() const { return session_; }
    const PortNumbers& Numbers() const { return numbers_; }
    // The window chooses it after the station is built; takes effect at the
    // next change of the line's rate.
    void SetQuickTurnaround(bool on) { rules_.quickTurnaround = on; }
    bool QuickTurnaround() const { return rules_.quickTurnaround; }
    unsigned FinishedDevices() const { return finished_; }
    unsigned FailedDevices() const { return failed_; }
    // The port went away and is tried again every Tick1.
    bool WaitingForReturn() const { return waitingForReturn_; }

private:
    // ControllerHost
    bool SendData(const std::uint8_t* data, std::uint16_t length) override;
    void SetBaudRate(std::uint32_t baudRate) override {
        SetDeviceLineRate(comm_, baudRate, rules_.quickTurnaround);
    }
    std::chrono::system_clock::time_point Now() override {
        return std::chrono::system_clock::now();
    }
    bool ReadyForDevice() override;
    bool TakeIdentityReply(const DeviceSerial& device) override;
    void RunEnded(RunResult result, std::optional<std::uint16_t> refusedBlock) override;

    // Runs a controller step; an error it raises goes to the view.
    template <typename Step>
    void Guarded(Step step);
    bool ServedAllDevices() const;
    void OnPortLost();
    void TryReopen();
    // What provisioning does with the device, once it is judged.
    void OnJudged(const Judgement& judgement);
    // The device gets no record: the line returns to the hello rate.
    void WriteNothing() { session_.SetBaseRate(); }
    void LeaveAlone();
    void EndDevice(RunResult result, bool good,
                   std::optional<std::uint16_t> refusedBlock = std::nullopt);
    void Record(const FinishedDevice& device) const;

    StationParts parts_;
    PortView& view_;
    StationRules rules_;
    TComm comm_;
    PortNumbers numbers_;
    UpdateSession session_;
    std::optional<DeviceSerial> deviceSerial_;  // of the current device

    bool waitingForReturn_ = false;  // the port vanished; reopened once it is back
    AdapterIdentity lostAdapter_;    // the adapter the port had when it vanished
    bool runActive_ = false;         // something was sent to the current device
    std::chrono::steady_clock::time_point runStart_;
    unsigned finished_ = 0;
    unsigned failed_ = 0;
};

}  // namespace comflash
