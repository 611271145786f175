// One port of comflash-cli: the serial component, the update controller that
// drives it with Auto on, and the terminal standing in for the window.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/controller_host.h"
#include "app/serial_provisioning.h"
#include "app/settings_store.h"
#include "app/update_session.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/device_record.h"
#include "protocol/firmware_image.h"
#include "serial/comm.h"

namespace comflash::cli {

// What every port of the process shares.
struct RunContext {
    const CliOptions& options;
    const FirmwareImage& image;
    const SettingsStore& settings;
    SerialNumberSource& serialNumbers;
    Console& console;
    RecordFile* record = nullptr;                // --record
    SerialProvisioning* provisioning = nullptr;  // --write-sn
    std::uint16_t imageCrc = 0;
    std::function<void()> deviceFinished;  // after every finished device
    std::function<void()> fatal;           // the run cannot go on safely
};

class PortRunner final : public ControllerHost {
public:
    PortRunner(std::string port, Dispatcher& dispatcher, RunContext& context);
    ~PortRunner() override;
    PortRunner(const PortRunner&) = delete;
    PortRunner& operator=(const PortRunner&) = delete;

    // As the Open button does; raises ECommsError.
    void Open();
    void Close();
    // The run is over: a line that goes away now is no news.
    void Retire() { comm_.OnRequestHangup = nullptr; }
    void Tick1();  // every 1000 ms
    void Tick2();  // every 20 ms

    const std::string& Port() const { return port_; }
    unsigned FinishedDevices() const { return finished_; }
    unsigned FailedDevices() const { return failed_; }

    bool SendData(const std::uint8_t* data, std::uint16_t length) override;
    void SetBaudRate(std::uint32_t baudRate) override;
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return context_.options.fast; }
    bool L3Checked() override { return context_.options.l3; }
    std::string SerialNumberText() override { return {}; }
    void SetSerialNumberText(const std::string&) override {}
    void ClearReadBack() override {}
    std::chrono::system_clock::time_point Now() override {
        return std::chrono::system_clock::now();
    }
    std::string PortName() override { return port_; }
    void RunFinished(RunResult result) override;
    void SerialNumberSettled(const std::string& number, SerialFate fate) override;
    bool TakeIdentityReply() override;
    bool ReadyForDevice() override;

private:
    // --devices is reached on this port.
    bool ServedAllDevices() const;
    void OnPortLost();
    void TryReopen();
    void CountDevice(const std::string& result, bool good);
    // A number taken at the hello whose record never left goes back.
    void SettleUnsentSerialNumber();
    // Runs a controller step; an error it raises is reported and stops the run.
    template <typename Step>
    void Guarded(Step step);

    std::string port_;
    RunContext& context_;
    TComm comm_;
    UpdateSession session_;

    bool waitingForReturn_ = false;  // the port vanished; reopened once it is back
    bool runActive_ = false;         // something was sent to the current device
    std::chrono::steady_clock::time_point runStart_;
    // Provisioning: the number taken when the hello was answered, until its
    // record leaves; then the number and its fate for the device's record.
    std::string serialNumberTaken_;
    std::string serialNumberSent_;
    std::optional<SerialFate> serialFate_;
    unsigned finished_ = 0;
    unsigned failed_ = 0;
};

}  // namespace comflash::cli
