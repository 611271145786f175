// A recording stand-in for the port station and the window around the
// controller: it keeps every frame sent, every baud rate set, every log line
// and box, and lets a test act from inside a modal box, as the window's
// event loop does while a box is open.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/controller_host.h"
#include "app/port_view.h"

namespace comflash::testing {

struct Box {
    std::string text;
    std::string title;
};

class FakeHost : public ControllerHost, public PortView {
public:
    using Bytes = std::vector<std::uint8_t>;

    // ControllerHost
    bool SendData(const std::uint8_t* data, std::uint16_t length) override {
        sent.emplace_back(data, data + length);
        sentAtRate.push_back(baudRate);
        return true;
    }
    void SetBaudRate(std::uint32_t rate) override {
        if (rate != baudRate)
            rateChanges.push_back(rate);
        baudRate = rate;
    }
    std::chrono::system_clock::time_point Now() override { return now; }
    bool ReadyForDevice() override { return readyForDevice; }
    bool TakeIdentityReply(const DeviceSerial& device) override {
        identities.push_back(device);
        return false;
    }
    void RunEnded(RunResult result, std::optional<std::uint16_t> refusedBlock) override {
        results.push_back(result);
        refusedBlocks.push_back(refusedBlock);
        if (onRunEnded)
            onRunEnded();
    }

    // PortView
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void SetProgress(int position) override { progress.push_back(position); }
    void ShowCounters(std::int32_t ok, std::int32_t errors) override {
        shownOk = ok;
        shownErrors = errors;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        boxes.push_back({text, title});
        if (whileBoxOpen)
            Run({text, title});
        return answer;
    }
    void ShowMessage(const std::string& text, const std::string& title) override {
        boxes.push_back({text, title});
        if (whileBoxOpen)
            Run({text, title});
    }
    bool AutoChecked() override { return autoChecked; }
    bool FastChecked() override { return fastChecked; }
    bool L3Checked() override { return l3Checked; }
    void ShowNextSerialNumber(const std::string& number) override { serialNumber = number; }
    void ClearReadBack() override { readBackCleared = true; }
    void RunStarted(RunKind kind, const std::string& /*number*/) override {
        if (kind == RunKind::Update)
            ++updatesStarted;
    }
    void StepFailed(const std::exception& error) override { failures.push_back(error.what()); }

    std::uint8_t LastCommand() const { return sent.empty() ? 0 : sent.back()[4]; }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    std::vector<Bytes> sent;
    std::vector<std::uint32_t> sentAtRate;
    std::vector<std::uint32_t> rateChanges;
    std::uint32_t baudRate = 9600;
    std::vector<std::string> log;
    std::vector<int> progress;
    std::int32_t shownOk = 0;
    std::int32_t shownErrors = 0;
    std::vector<Box> boxes;
    bool answer = true;
    std::function<void(const Box&)> whileBoxOpen;
    bool autoChecked = true;
    bool fastChecked = true;
    bool l3Checked = false;
    std::string serialNumber;  // what the window's hidden field shows
    bool readBackCleared = false;
    std::chrono::system_clock::time_point now{std::chrono::seconds(1709647629)};
    int updatesStarted = 0;
    std::vector<RunResult> results;
    std::vector<std::optional<std::uint16_t>> refusedBlocks;
    std::function<void()> onRunEnded;
    std::vector<DeviceSerial> identities;
    std::vector<std::string> failures;
    bool readyForDevice = true;

private:
    void Run(Box box) {
        auto action = std::move(whileBoxOpen);  // acts in the first box only
        whileBoxOpen = nullptr;
        action(box);
    }
};

}  // namespace comflash::testing
