#include "cli/device_record.h"

#include <cstdio>
#include <stdexcept>

#include "cli/json_line.h"

namespace comflash::cli {

RecordFile::RecordFile(const std::filesystem::path& path) : path_(path), out_(path, std::ios::app) {
    if (!out_)
        throw std::runtime_error("cannot open the record file " + path.string());
}

void RecordFile::Append(const DeviceRecord& record) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "0x%04X", record.imageCrc);
    JsonLine line;
    line.Add("time", IsoTime(record.finishedAt))
        .Add("port", record.port)
        .Add("result", record.result)
        .Add("image_crc", crc)
        .Add("duration_ms", record.durationMs);
    if (!record.serialSent.empty()) {
        if (record.serialFate == "written")
            line.Add("serial_number", record.serialSent);
        line.Add("serial_sent", record.serialSent).Add("serial_fate", record.serialFate);
    }
    // One line per device, flushed at once: a record survives a crash later on.
    out_ << line.Text() << std::endl;
    if (!out_)
        throw std::runtime_error("cannot write the record file " + path_.string());
}

}  // namespace comflash::cli
