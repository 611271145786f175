#include "cli/port_runner.h"

#include <utility>

namespace comflash::cli {

PortRunner::PortRunner(std::string port, Dispatcher& dispatcher, RunContext& context)
    : port_(std::move(port)),
      context_(context),
      station_(dispatcher,
               StationShared{context.image, context.serialNumbers, context.provisioning,
                             context.record, context.imageCrc, context.lineRecord},
               *this,
               StationRules{.devices = context.options.devices,
                            .reopenWhenLost = true,
                            .overwriteSerialNumbers = context.options.overwriteSerialNumbers,
                            .readBackSerialNumbers = context.options.verifySerialNumbers,
                            .quickTurnaround = context.options.quickTurnaround}) {}

void PortRunner::AppendLog(const std::string& line) {
    context_.console.LogLine(port_, line);
}

void PortRunner::SetProgress(int position) {
    context_.console.Progress(port_, position);
}

void PortRunner::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    context_.console.Counters(port_, okCount, errorCount);
}

// No one answers boxes here: the question is shown and taken as Yes.
bool PortRunner::AskYesNo(const std::string& text, const std::string& title) {
    context_.console.Box(port_, text, title);
    return true;
}

void PortRunner::ShowMessage(const std::string& text, const std::string& title) {
    context_.console.Box(port_, text, title);
}

void PortRunner::DeviceIdentified(const DeviceSerial& device) {
    context_.console.DeviceIdentified(port_, device);
}

void PortRunner::DeviceFinished(const FinishedDevice& device) {
    context_.console.DeviceFinished(port_, device.result, device.device);
    context_.deviceFinished();
}

void PortRunner::PortLost() {
    context_.console.Error(
        port_, "the port stopped working (device or cable gone?): waiting for it to return");
}

void PortRunner::PortBack(const std::string& said) {
    context_.console.Error(port_, said);
}

void PortRunner::Notice(const std::string& text) {
    context_.console.Error(port_, text);
}

void PortRunner::StepFailed(const std::exception& error) {
    const auto* settings = dynamic_cast<const ERegistryException*>(&error);
    if (settings != nullptr && !settings->Detail().empty())
        context_.console.Error(port_, std::string(error.what()) + " (" + settings->Detail() + ")");
    else
        context_.console.Error(port_, error.what());
    context_.fatal();
}

}  // namespace comflash::cli
