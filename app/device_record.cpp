#include "app/device_record.h"

#include <chrono>
#include <stdexcept>

#include "app/json_line.h"
#include "image/image_info.h"

namespace comflash {

void AddDeviceSerial(JsonObject& object, const std::optional<DeviceSerial>& device) {
    if (!device)
        return;
    if (device->kind == DeviceSerialKind::Number) {
        object["device_serial"] = device->number;
        return;
    }
    object["device_serial"] = nullptr;
    if (device->kind == DeviceSerialKind::Unknown)
        object["device_serial_unknown"] = device->reason;
}

const char* RunResultName(RunResult result) {
    switch (result) {
        case RunResult::Updated:
            return "updated";
        case RunResult::ChecksumMismatch:
            return "checksum-mismatch";
        case RunResult::InitRefused:
            return "init-refused";
        case RunResult::BlockRefused:
            return "block-refused";
        case RunResult::TimedOut:
            return "timed-out";
        case RunResult::HelloRefused:
            return "hello-refused";
        case RunResult::HelloRefusedL3:
            return "hello-refused-l3";
        case RunResult::Declined:
            return "declined";
        case RunResult::SerialWritten:
            return "serial-written";
        case RunResult::SerialRefused:
            return "serial-refused";
        case RunResult::SerialReadBackFailed:
            return "serial-read-back-failed";
        case RunResult::Interrupted:
            return "interrupted";
        case RunResult::PortLost:
            return "port-lost";
        case RunResult::SerialConfirmed:
            return "serial-confirmed";
        case RunResult::AlreadyProvisioned:
            return "already-provisioned";
        case RunResult::SerialUnknown:
            return "serial-unknown";
        case RunResult::SerialNotWritten:
            return "serial-not-written";
        case RunResult::SerialUnused:
            return "serial-unused";
    }
    return "unknown";
}

DeviceRecord RecordOf(const std::string& port, const FinishedDevice& device,
                      std::uint32_t imageLength, std::uint16_t imageCrc) {
    DeviceRecord record;
    record.finishedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    record.port = port;
    record.result = device.result;
    record.imageCrc = imageCrc;
    record.imageLength = imageLength;
    record.durationMs = device.duration.count();
    record.serial = device.serial;
    record.device = device.device;
    return record;
}

RecordFile::RecordFile(const std::filesystem::path& path) : path_(path), out_(path, std::ios::app) {
    if (!out_)
        throw std::runtime_error("cannot open the record file " + path.string());
}

void RecordFile::Append(const DeviceRecord& record) {
    JsonObject line{{"time", IsoTime(record.finishedAt)},
                    {"port", record.port},
                    {"result", RunResultName(record.result)},
                    {"image_crc", ImageCrcText(record.imageCrc)},
                    {"duration_ms", record.durationMs}};
    if (record.serial) {
        if (record.serial->fate == SerialFate::Written)
            line["serial_number"] = record.serial->number;
        line["serial_sent"] = record.serial->number;
        line["serial_fate"] = SerialFateName(record.serial->fate);
    }
    AddDeviceSerial(line, record.device);
    // One line per device, flushed at once: a record survives a crash later on.
    out_ << JsonLine(line) << std::endl;
    if (!out_)
        throw std::runtime_error("cannot write the record file " + path_.string());
}

}  // namespace comflash
