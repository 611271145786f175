#include "app/tile_state.h"

#include <algorithm>
#include <map>

namespace comflash {
namespace {

// The controller's results, as the operator knows them from the log.
const std::map<std::string, std::string>& ResultWords() {
    static const std::map<std::string, std::string> words = {
        {"checksum-mismatch", "Write Err"},
        {"init-refused", "Init EEP Err"},
        {"block-refused", "block refused"},
        {"timed-out", "no answer"},
        {"hello-refused", "E0"},
        {"hello-refused-l3", "E03"},
        {"declined", "declined"},
        {"serial-refused", "Write SN Error!"},
        {"interrupted", "interrupted"},
        {"port-lost", "port lost"},
        {"serial-not-written", "no number for it"},
        {"serial-unknown", "serial number unknown"},
        {"serial-read-back-failed", "read-back differs"},
    };
    return words;
}

bool IsBlockErrorLine(const std::string& line) {
    return line.starts_with("Write ") && line.ends_with(" Err!");
}

std::string SerialDetail(const SettledNumber& serial) {
    switch (serial.fate) {
        case SerialFate::Written:
            return "SN " + serial.number + " written";
        case SerialFate::Refused:
            return "SN " + serial.number + " refused";
        case SerialFate::Unconfirmed:
            return "SN " + serial.number + " unconfirmed: set the device aside";
        case SerialFate::NotSent:
            return "SN " + serial.number + " not sent";
    }
    return {};
}

}  // namespace

std::string FailureWords(const FinishedDevice& device, const std::string& blockError) {
    if (device.serial && device.serial->fate == SerialFate::Unconfirmed)
        return "SN unconfirmed";
    if (device.result == "block-refused" && !blockError.empty())
        return blockError;
    const auto found = ResultWords().find(device.result);
    return found != ResultWords().end() ? found->second : device.result;
}

void TileState::Opened() {
    open_ = true;
    lost_ = false;
    problem_.clear();
    problemDetail_.clear();
    phase_ = Phase::Waiting;
    detail_.clear();
    numberDetail_.clear();
}

void TileState::Closed() {
    open_ = false;
    lost_ = false;
}

void TileState::OpenFailed(const std::string& text, const std::string& reason) {
    open_ = false;
    lost_ = false;
    problem_ = "cannot open: " + text;
    problemDetail_ = reason;
}

void TileState::Stopped(const std::string& reason) {
    open_ = false;
    lost_ = false;
    problem_ = "stopped: " + reason;
    problemDetail_.clear();
}

void TileState::PortLost() {
    lost_ = true;
}

void TileState::PortBack() {
    lost_ = false;
    phase_ = Phase::Waiting;
}

void TileState::LogLine(const std::string& line) {
    if (phase_ == Phase::Updating && blockError_.empty() && IsBlockErrorLine(line))
        blockError_ = line;
}

void TileState::DeviceIdentified(const DeviceSerial& device) {
    switch (device.kind) {
        case DeviceSerialKind::Number:
            deviceDetail_ = "device " + device.number;
            break;
        case DeviceSerialKind::None:
            deviceDetail_ = "device without serial number";
            break;
        case DeviceSerialKind::Unknown:
            deviceDetail_ = "serial number unknown: " + device.reason;
            break;
    }
}

void TileState::UpdateStarted() {
    deviceDetail_.clear();
    phase_ = Phase::Updating;
    progress_ = 0;
    blockError_.clear();
    detail_.clear();
    numberDetail_.clear();
}

void TileState::Progress(int position) {
    if (phase_ == Phase::Updating)
        progress_ = std::clamp(position, 0, 100);
}

void TileState::SerialNumberSent(const std::string& number) {
    phase_ = Phase::WritingSerial;
    detail_.clear();
    numberDetail_ = "SN " + number;
}

void TileState::Message(const std::string& text) {
    detail_ = text;
}

void TileState::DeviceFinished(const FinishedDevice& device) {
    phase_ = Phase::Finished;
    good_ = device.good;
    leftAlone_ = !device.counted;
    outcome_ = device.good ? std::string() : FailureWords(device, blockError_);
    blockError_.clear();
    numberDetail_ = device.serial ? SerialDetail(*device.serial) : std::string();
    if (device.good)
        detail_.clear();
}

TileFace TileState::Finished() const {
    if (leftAlone_)
        return {"already provisioned: left alone", deviceDetail_, TileTone::Waiting};
    const std::string& detail = numberDetail_.empty() ? detail_ : numberDetail_;
    if (good_)
        return {"good", detail, TileTone::Good};
    return {"failed: " + outcome_, detail, TileTone::Failed};
}

TileFace TileState::Face() const {
    if (!problem_.empty())
        return {problem_, problemDetail_, TileTone::Failed};
    if (lost_)
        return {"port lost", "waiting for it to return", TileTone::Lost};
    if (!open_) {
        if (phase_ != Phase::Finished)
            return {"closed", {}, TileTone::Closed};
        return {"closed", "last device: " + Finished().state, TileTone::Closed};
    }
    switch (phase_) {
        case Phase::Waiting:
            return {"waiting for a device", detail_, TileTone::Waiting};
        case Phase::Updating:
            return {"updating " + std::to_string(progress_) + " %",
                    detail_.empty() ? deviceDetail_ : detail_, TileTone::Busy};
        case Phase::WritingSerial:
            return {"writing serial number", numberDetail_, TileTone::Busy};
        case Phase::Finished:
            return Finished();
    }
    return {};
}

}  // namespace comflash
