// One port of comflash-cli: a port station whose view is the terminal. Auto
// is always on, boxes become lines, and an error a step raises stops the run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/device_record.h"
#include "app/port_station.h"
#include "app/serial_provisioning.h"
#include "app/settings_store.h"
#include "app/station_view.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "protocol/firmware_image.h"
#include "serial/dispatcher.h"

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
    DeviceRecorder* lineRecord = nullptr;  // the line database's rows
};

class PortRunner final : private StationView {
public:
    PortRunner(std::string port, Dispatcher& dispatcher, RunContext& context);
    PortRunner(const PortRunner&) = delete;
    PortRunner& operator=(const PortRunner&) = delete;

    // As the Open button does; raises ECommsError.
    void Open() { station_.Open(port_); }
    void Close() { station_.Close(); }
    // The run is over: a line that goes away now is no news.
    void Retire() { station_.Retire(); }
    void Tick1() { station_.Tick1(); }
    void Tick2() { station_.Tick2(); }

    const std::string& Port() const { return port_; }
    unsigned FinishedDevices() const { return station_.FinishedDevices(); }
    unsigned FailedDevices() const { return station_.FailedDevices(); }

private:
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return context_.options.fast; }
    bool L3Checked() override { return context_.options.l3; }
    void DeviceFinished(const FinishedDevice& device) override;
    void DeviceIdentified(const DeviceSerial& device) override;
    void PortLost() override;
    void PortBack(const std::string& said) override;
    void Notice(const std::string& text) override;
    void StepFailed(const std::exception& error) override;

    std::string port_;
    RunContext& context_;
    PortStation station_;
};

}  // namespace comflash::cli
