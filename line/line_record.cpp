#include "line/line_record.h"

namespace comflash::line {

DeviceRow RowOf(const DeviceRecord& record) {
    DeviceRow row;
    row.finishedAt = record.finishedAt;
    row.port = record.port;
    row.outcome = record.result;
    row.imageLength = record.imageLength;
    row.imageCrc = record.imageCrc;
    row.serialNumber = record.serialSent;
    row.serialFate = record.serialFate;
    row.durationMs = record.durationMs;
    row.device = record.device;
    return row;
}

}  // namespace comflash::line
