// The commands of comflash-line. Each writes its report to `out` and raises
// LineError (or LineUnreachable) when the line database cannot answer.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "line/pg_connection.h"

namespace comflash::line::tool {

// Series and their next numbers; devices per station and outcome over the
// last `span` (a PostgreSQL interval such as "1h" or "2 days"); numbers whose
// devices must be set aside.
void ShowStatus(const std::string& conninfo, const std::string& span, std::ostream& out);

// The device rows finished at or after `since` (a time such as "2024-05-01
// 08:00", or a span back from now such as "8h"), and before `until` when
// given, as CSV.
void ExportDevices(const std::string& conninfo, const std::string& since, const std::string& until,
                   std::ostream& out);

// Reserves and confirms numbers as fast as `clients` connections can, for
// `seconds` each, and checks that none was handed out twice. False when one
// was.
bool RunBench(const std::string& conninfo, const std::vector<int>& clients, double seconds,
              std::ostream& out);

// Fails with a clear message when `conninfo` leads to no line database;
// the version of its tables (from 1 to kLineSchemaVersion).
int CheckLineTables(PgConnection& connection);

}  // namespace comflash::line::tool
