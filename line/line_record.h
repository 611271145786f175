// The port stations' record of finished devices, as rows of the line
// database: beside the --record file, through the same interface.
#pragma once

#include "app/device_record.h"
#include "line/device_row.h"
#include "line/line_database.h"

namespace comflash::line {

DeviceRow RowOf(const DeviceRecord& record);

class LineRecord final : public DeviceRecorder {
public:
    explicit LineRecord(LineDatabase& line) : line_(line) {}
    // On disk in the spool when this returns; raises LineError when the spool
    // cannot be written.
    void Append(const DeviceRecord& record) override { line_.Record(RowOf(record)); }

private:
    LineDatabase& line_;
};

}  // namespace comflash::line
