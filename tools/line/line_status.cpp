#include <iomanip>

#include "line/line_error.h"
#include "line/line_schema.h"
#include "line/serial_series.h"
#include "line_commands.h"

namespace comflash::line::tool {
namespace {

// A number reserved this long ago without a fate belongs to a station that
// stopped in the middle of a device (longer than any device's run).
constexpr const char* kStaleReservation = "10 minutes";

void ShowSeries(PgConnection& connection, std::ostream& out) {
    PgResult rows = connection.Exec(
        "SELECT s.prefix, s.next_value, "
        "  (SELECT count(*) FROM comflash_serial_numbers n "
        "   WHERE n.prefix = s.prefix AND n.state IN ('refused', 'not-sent')) "
        "FROM comflash_series s ORDER BY s.prefix");
    out << "series (next new number; numbers given back, which go out first):\n";
    if (rows.Rows() == 0)
        out << "  none yet\n";
    for (int i = 0; i < rows.Rows(); ++i) {
        const std::string prefix = rows.Text(i, 0);
        out << "  " << std::left << std::setw(12) << (prefix.empty() ? "(no prefix)" : prefix)
            << " next " << SerialText(prefix, static_cast<int>(rows.Number(i, 1)))
            << "; given back: " << rows.Text(i, 2) << '\n';
    }
}

void ShowDevices(PgConnection& connection, const std::string& span, std::ostream& out) {
    PgResult rows = connection.Exec(
        "SELECT station, outcome, count(*) FROM comflash_devices "
        "WHERE finished_at >= now() - $1::interval GROUP BY station, outcome "
        "ORDER BY station, outcome",
        {span});
    out << "devices over the last " << span << " (station, outcome, count):\n";
    if (rows.Rows() == 0)
        out << "  none\n";
    for (int i = 0; i < rows.Rows(); ++i) {
        out << "  " << std::left << std::setw(20) << rows.Text(i, 0) << ' ' << std::setw(20)
            << rows.Text(i, 1) << ' ' << rows.Text(i, 2) << '\n';
    }
}

// Reservations carry the server process of the station's connection from
// version 3 of the tables on.
constexpr int kBackendKnownFrom = 3;

void ShowOpenNumbers(PgConnection& connection, int version, std::ostream& out) {
    // A reservation whose station's connection is gone will never get its
    // fate from that connection: the station died mid-write (a station still
    // running sends the fate through its spool, and the number then leaves
    // this list by itself).
    const std::string connectionGone =
        version >= kBackendKnownFrom
            ? " OR (state = 'reserved' AND backend_pid IS NOT NULL AND backend_pid NOT IN "
              "(SELECT pid FROM pg_stat_activity))"
            : "";
    PgResult rows = connection.Exec(
        "SELECT prefix || lpad(value::text, 6, '0'), state, station, port, "
        "  to_char(reserved_at, 'YYYY-MM-DD HH24:MI:SS') "
        "FROM comflash_serial_numbers "
        "WHERE state = 'unconfirmed' "
        "   OR (state = 'reserved' AND reserved_at < now() - $1::interval)" +
            connectionGone + " ORDER BY prefix, value",
        {kStaleReservation});
    out << "numbers a device may hold unconfirmed (set those devices aside):\n";
    if (rows.Rows() == 0)
        out << "  none\n";
    for (int i = 0; i < rows.Rows(); ++i) {
        const std::string how = rows.Text(i, 1) == "reserved"
                                    ? "reserved, never settled (the station stopped mid-write)"
                                    : "unconfirmed";
        out << "  " << rows.Text(i, 0) << "  " << how << ", station " << rows.Text(i, 2)
            << ", port " << rows.Text(i, 3) << ", " << rows.Text(i, 4) << '\n';
    }
}

}  // namespace

int CheckLineTables(PgConnection& connection) {
    try {
        PgResult version = connection.Exec("SELECT version FROM comflash_schema");
        if (version.Rows() == 1 && version.Number(0, 0) >= 1 &&
            version.Number(0, 0) <= kLineSchemaVersion) {
            return static_cast<int>(version.Number(0, 0));
        }
        throw LineError("the line database's tables are of version " +
                        (version.Rows() == 1 ? version.Text(0, 0) : std::string("none")) +
                        ", which this comflash-line does not read: use the comflash-line of the "
                        "stations' version");
    } catch (const LineUnreachable&) {
        throw;
    } catch (const LineError& e) {
        if (e.SqlState() != "42P01")  // no such table
            throw;
        throw LineError(
            "no line database at this address yet: its tables are made when the first station "
            "connects (comflash-cli --line ...)");
    }
}

void ShowStatus(const std::string& conninfo, const std::string& span, std::ostream& out) {
    PgConnection connection(conninfo);
    const int version = CheckLineTables(connection);
    ShowSeries(connection, out);
    ShowDevices(connection, span, out);
    ShowOpenNumbers(connection, version, out);
}

}  // namespace comflash::line::tool
