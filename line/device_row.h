// One finished device, as the line database keeps it, and the entries the
// spool holds for the server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/serial_number_source.h"
#include "line/line_spool.h"
#include "line/pg_connection.h"
#include "protocol/identity_reply.h"

namespace comflash::line {

struct DeviceRow {
    std::int64_t finishedAt = 0;  // Unix milliseconds
    std::string station;          // filled in by the recorder
    std::string port;
    std::string outcome;  // the run's result, as the --record file names it
    std::uint32_t imageLength = 0;
    std::uint16_t imageCrc = 0;
    std::string serialNumber;  // the number taken for the device; empty when none
    std::string serialFate;    // what became of it: "written", "refused", ...
    // The device's own number from its identity reply, as the --record file
    // has it; nothing when no identity reply came.
    std::optional<DeviceSerial> device;
    std::int64_t durationMs = 0;
    std::string toolVersion;  // filled in by the recorder
};

// A key no other entry of any station will have.
std::string NewEntryKey();

// `lineId`: the line the row belongs to (EnsureLineSchema), empty when the
// station has not reached its line yet; the row then goes to the first line
// it reaches.
SpoolEntry DeviceEntry(const DeviceRow& row, const std::string& key, const std::string& lineId);

// The fate of a reservation made on the line `lineId`; its key is the
// reservation's, so the entry is the same however often it is made.
SpoolEntry FateEntry(long long reservation, SerialFate fate, const std::string& lineId);

// Sends one entry to the line `lineId` that `connection` leads to. Sending an
// entry the server already has changes nothing. Raises LineUnreachable as
// PgConnection::Exec does, and LineError when the entry can never be taken:
// the server refuses it, it cannot be read, or it belongs to another line
// (the station was pointed at another database meanwhile; a reservation
// number means nothing there).
void SendEntry(PgConnection& connection, const std::string& lineId, const SpoolEntry& entry);

}  // namespace comflash::line
