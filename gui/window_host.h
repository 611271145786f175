// What the update controller sees of the window: Comm1 for the port, the log,
// the track bar, the counters, the modal boxes and the check boxes.
#pragma once

#include "app/controller_host.h"

namespace comflash {

class TForm1;

class WindowHost final : public ControllerHost {
public:
    explicit WindowHost(TForm1& form) : form_(form) {}

    bool SendData(const std::uint8_t* data, std::uint16_t length) override;
    void SetBaudRate(std::uint32_t baudRate) override;
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override;
    bool FastChecked() override;
    bool L3Checked() override;
    std::string SerialNumberText() override;
    void SetSerialNumberText(const std::string& text) override;
    void ClearReadBack() override;
    std::chrono::system_clock::time_point Now() override;
    std::string PortName() override;

private:
    TForm1& form_;
};

}  // namespace comflash
