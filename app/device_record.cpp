#include "app/device_record.h"

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

RecordFile::RecordFile(const std::filesystem::path& path) : path_(path), out_(path, std::ios::app) {
    if (!out_)
        throw std::runtime_error("cannot open the record file " + path.string());
}

void RecordFile::Append(const DeviceRecord& record) {
    JsonObject line{{"time", IsoTime(record.finishedAt)},
                    {"port", record.port},
                    {"result", record.result},
                    {"image_crc", ImageCrcText(record.imageCrc)},
                    {"duration_ms", record.durationMs}};
    if (!record.serialSent.empty()) {
        if (record.serialFate == "written")
            line["serial_number"] = record.serialSent;
        line["serial_sent"] = record.serialSent;
        line["serial_fate"] = record.serialFate;
    }
    AddDeviceSerial(line, record.device);
    // One line per device, flushed at once: a record survives a crash later on.
    out_ << JsonLine(line) << std::endl;
    if (!out_)
        throw std::runtime_error("cannot write the record file " + path_.string());
}

}  // namespace comflash
