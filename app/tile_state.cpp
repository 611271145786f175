#include "app/tile_state.h"

#include <algorithm>
#include <map>

namespace comflash {
namespace {

// The controller's results, as the operator knows them from the log.
std::string ResultWords(RunResult result) {
    switch (result) {
        case RunResult::ChecksumMismatch:
            return "Write Err";
        case RunResult::InitRefused:
            return "Init EEP Err";
        case RunResult::BlockRefused:
            return "block refused";
        case RunResult::TimedOut:
            return "no answer";
        case RunResult::HelloRefused:
            return "E0";
        case RunResult::HelloRefusedL3:
            return "E03";
        case RunResult::Declined:
            return "declined";
        case RunResult::SerialRefused:
            return "Write SN Error!";
        case RunResult::Interrupted:
            return "interrupted";
        case RunResult::PortLost:
            return "port lost";
        case RunResult::SerialNotWritten:
            return "no number for it";
        case RunResult::SerialUnknown:
            return "serial number unknown";
        case RunResult::SerialReadBackFailed:
            return "read-back differs";
        default:
            return RunResultName(result);
    }
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
        case SerialFate::Skipped:
            return "SN " + serial.number + " skipped";
    }
    return {};
}

}  // namespace

TileColours ColoursOf(TileTone tone) {
    switch (tone) {
        case TileTone::Closed:
            return {0xD6D6D6, 0x202020};
        case TileTone::Waiting:
            return {0xD8E6F3, 0x102A43};
        case TileTone::Busy:
            return {0xFFD54F, 0x202020};
        case TileTone::Good:
            return {0x2E7D32, 0xFFFFFF};
        case TileTone::Failed:
            return {0xC62828, 0xFFFFFF};
        case TileTone::Lost:
            return {0x5E35B1, 0xFFFFFF};
    }
    return {0xD6D6D6, 0x202020};
}

std::string FailureWords(const FinishedDevice& device) {
    if (device.serial && device.serial->fate == SerialFate::Unconfirmed)
        return "SN unconfirmed";
    // The log's own line for the block the device refused.
    if (device.result == RunResult::BlockRefused && device.refusedBlock)
        return "Write " + std::to_string(*device.refusedBlock) + " Err!";
    return ResultWords(device.result);
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

void TileState::RunStarted(RunKind kind, const std::string& serialNumber) {
    detail_.clear();
    if (kind == RunKind::SerialNumber) {
        phase_ = Phase::WritingSerial;
        numberDetail_ = "SN " + serialNumber;
        return;
    }
    deviceDetail_.clear();
    phase_ = Phase::Updating;
    progress_ = 0;
    numberDetail_.clear();
}

void TileState::Progress(int position) {
    if (phase_ == Phase::Updating)
        progress_ = std::clamp(position, 0, 100);
}

void TileState::Message(const std::string& text) {
    detail_ = text;
}

void TileState::RunEnded(const FinishedDevice& device) {
    phase_ = Phase::Finished;
    good_ = device.good;
    leftAlone_ = !device.counted;
    outcome_ = device.good ? std::string() : FailureWords(device);
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
