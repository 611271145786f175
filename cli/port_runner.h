// One port of comflash-cli: its port station, and the port's view on the
// terminal. Auto is always on, boxes become lines, and an error a step
// raises stops the run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/port_station.h"
#include "app/port_view.h"
#include "cli/console.h"
#include "serial/dispatcher.h"

namespace comflash::cli {

// What the port learns from the command line that the run does not say.
struct PortChoices {
    bool fast = true;  // the hidden "Fast"
    bool l3 = false;   // the hidden "L3"
};

// What the run wants to hear from a port.
struct PortEvents {
    std::function<void()> deviceFinished;  // after every finished device
    std::function<void()> fatal;           // the run cannot go on safely
};

class PortRunner final : private PortView {
public:
    PortRunner(std::string port, Dispatcher& dispatcher, const StationParts& parts,
               const StationRules& rules, PortChoices choices, Console& console,
               PortEvents events);
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
    // "Ok:n Err:m" for the end of the run.
    void Summary();
    // Something wrong or unusual on this port, on standard error.
    void Problem(const std::string& text);

private:
    // PortView: each event as a line (or a JSON object) of this port.
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return choices_.fast; }
    bool L3Checked() override { return choices_.l3; }
    void DeviceIdentified(const DeviceSerial& device) override;
    void RunEnded(const FinishedDevice& device) override;
    void PortLost(const std::string& text) override { Problem(text); }
    void PortBack(const std::string& text) override { Problem(text); }
    void Notice(const std::string& text) override { Problem(text); }
    void StepFailed(const std::exception& error) override;

    // A line of this port on standard output, or a JSON event.
    void Say(const char* kind, const std::string& text, const JsonObject& extra = {});
    std::string Prefix() const;

    std::string port_;
    PortChoices choices_;
    Console& console_;
    PortEvents events_;
    PortCounts counts_;
    PortStation station_;
};

}  // namespace comflash::cli
