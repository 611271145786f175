// The line database's tables, created and upgraded by the tool itself.
#pragma once

#include <string>

#include "line/pg_connection.h"

namespace comflash::line {

// The version this tool writes and reads.
inline constexpr int kLineSchemaVersion = 3;

// Brings the database's schema up to kLineSchemaVersion: creates what is
// missing, in one transaction under an advisory lock, so that stations
// starting at the same moment wait for each other instead of colliding, and
// a station finding the schema current changes nothing. Returns the line's
// identity, made once when the tables are created: what a station kept for
// one line database is never sent to another. Raises LineError when the
// database's schema is newer than this tool knows (an older tool must not
// write into tables it does not understand).
std::string EnsureLineSchema(PgConnection& connection);

}  // namespace comflash::line
