#include <regex>

#include "line_commands.h"

namespace comflash::line::tool {
namespace {

// "8h", "30 min", "2 days": a span back from now; anything else is a time.
bool IsSpan(const std::string& text) {
    static const std::regex span(R"(\s*[0-9]+\s*[A-Za-z]+\s*)");
    return std::regex_match(text, span);
}

std::string TimeExpression(const std::string& text, int parameter) {
    const std::string p = "$" + std::to_string(parameter);
    return IsSpan(text) ? "now() - " + p + "::interval" : p + "::timestamptz";
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

void ExportDevices(const std::string& conninfo, const std::string& since, const std::string& until,
                   std::ostream& out) {
    PgConnection connection(conninfo);
    // Tables of version 1 do not keep the device's own number yet (a station
    // of this version upgrades them when it connects).
    const std::string deviceSerial =
        CheckLineTables(connection) >= 2
            ? "coalesce(device_serial_kind, ''), coalesce(device_serial, ''), "
              "coalesce(device_serial_unknown, '')"
            : "'', '', ''";
    PgParams params = {since};
    std::string where = "finished_at >= " + TimeExpression(since, 1);
    if (!until.empty()) {
        params.push_back(until);
        where += " AND finished_at < " + TimeExpression(until, 2);
    }
    PgResult rows = connection.Exec(
        "SELECT to_char(finished_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
        "station, port, outcome, image_length, "
        "'0x' || upper(lpad(to_hex(image_crc), 4, '0')), coalesce(serial_number, ''), "
        "coalesce(serial_fate, ''), duration_ms, tool_version, " +
            deviceSerial + " FROM comflash_devices WHERE " + where +
            " ORDER BY finished_at, station, port",
        params, std::chrono::seconds(60));
    // The device's own number last, so that readers of the earlier columns
    // find them where they were.
    out << "time,station,port,outcome,image_length,image_crc,serial_number,serial_fate,"
           "duration_ms,tool_version,device_serial_kind,device_serial,device_serial_unknown\r\n";
    constexpr int kColumns = 13;  // as the first line names them
    for (int i = 0; i < rows.Rows(); ++i) {
        for (int column = 0; column < kColumns; ++column)
            out << (column == 0 ? "" : ",") << CsvField(rows.Text(i, column));
        out << "\r\n";
    }
}

}  // namespace comflash::line::tool
