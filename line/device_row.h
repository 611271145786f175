// The entries the spool holds for the server: finished devices and the fates
// of serial numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/device_record.h"
#include "app/serial_number_source.h"
#include "line/line_spool.h"
#include "line/pg_connection.h"
#include "protocol/identity_reply.h"

namespace comflash::line {

// A key no other entry of any station will have.
std::string NewEntryKey();

// A finished device of `station`, recorded by comflash `toolVersion`.
// `lineId`: the line the row belongs to (EnsureLineSchema), empty when the
// station has not reached its line yet; the row then goes to the first line
// it reaches.
SpoolEntry DeviceEntry(const DeviceRecord& record, const std::string& station,
                       const std::string& toolVersion, const std::string& key,
                       const std::string& lineId);

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
