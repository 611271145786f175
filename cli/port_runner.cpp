#include "cli/port_runner.h"

#include <utility>

#include "app/settings_store.h"

namespace comflash::cli {
namespace {

std::string DeviceText(const DeviceSerial& device) {
    switch (device.kind) {
        case DeviceSerialKind::Number:
            return "device " + device.number;
        case DeviceSerialKind::None:
            return "device without serial number";
        case DeviceSerialKind::Unknown:
            break;
    }
    return "device serial number unknown: " + device.reason;
}

}  // namespace

PortRunner::PortRunner(std::string port, Dispatcher& dispatcher, const StationParts& parts,
                       const StationRules& rules, PortChoices choices, Console& console,
                       PortEvents events)
    : port_(std::move(port)),
      choices_(choices),
      console_(console),
      events_(std::move(events)),
      station_(dispatcher, parts, *this, rules) {}

std::string PortRunner::Prefix() const {
    return console_.Style().prefixPorts ? port_ + ": " : std::string();
}

void PortRunner::Say(const char* kind, const std::string& text, const JsonObject& extra) {
    if (console_.Style().json)
        console_.Event(port_, counts_, kind, text, extra);
    else
        console_.Out(Prefix() + text);
}

void PortRunner::Problem(const std::string& text) {
    if (console_.Style().json)
        console_.Event(port_, counts_, "error", text);
    else
        console_.Err("comflash-cli: " + port_ + ": " + text);
}

void PortRunner::AppendLog(const std::string& line) {
    Say("log", line);
}

void PortRunner::SetProgress(int position) {
    if (counts_.progress == position)
        return;
    counts_.progress = position;
    if (console_.Style().json)
        console_.Event(port_, counts_, "progress", std::to_string(position));
    else
        console_.ShowProgress(port_, position);
}

void PortRunner::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    counts_.ok = okCount;
    counts_.errors = errorCount;
    if (console_.Style().json) {
        console_.Event(port_, counts_, "counters",
                       "Ok:" + std::to_string(okCount) + " Err:" + std::to_string(errorCount));
    }
}

// No one answers boxes here: the question is shown and taken as Yes.
bool PortRunner::AskYesNo(const std::string& text, const std::string& title) {
    ShowMessage(text, title);
    return true;
}

void PortRunner::ShowMessage(const std::string& text, const std::string& title) {
    if (console_.Style().json)
        console_.Event(port_, counts_, "box", text);
    else
        console_.Err(Prefix() + title + ": " + text);
}

// A line of its own after the Start line, never one of the window's log.
void PortRunner::DeviceIdentified(const DeviceSerial& device) {
    JsonObject extra;
    AddDeviceSerial(extra, device);
    Say("device", DeviceText(device), extra);
}

void PortRunner::RunEnded(const FinishedDevice& device) {
    if (console_.Style().json) {
        JsonObject extra;
        AddDeviceSerial(extra, device.device);
        console_.Event(port_, counts_, "finished", RunResultName(device.result), extra);
    }
    events_.deviceFinished();
}

void PortRunner::StepFailed(const std::exception& error) {
    const auto* settings = dynamic_cast<const ERegistryException*>(&error);
    if (settings != nullptr && !settings->Detail().empty())
        Problem(std::string(error.what()) + " (" + settings->Detail() + ")");
    else
        Problem(error.what());
    events_.fatal();
}

void PortRunner::Summary() {
    const std::string counts =
        "Ok:" + std::to_string(counts_.ok) + " Err:" + std::to_string(counts_.errors);
    if (console_.Style().json) {
        console_.Event(port_, counts_, "summary", counts);
        return;
    }
    console_.ShowProgress(port_, 0);
    console_.Out((console_.Style().prefixPorts ? port_ + " " : "") + counts);
}

}  // namespace comflash::cli
