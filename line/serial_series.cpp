#include "line/serial_series.h"

#include <cstdio>

#include "app/serial_number.h"
#include "line/line_error.h"

namespace comflash::line {

Reservation ReserveNumber(PgConnection& connection, const std::string& prefix, int floor,
                          const std::string& station, const std::string& port) {
    try {
        PgResult row = connection.Exec(
            "SELECT taken_value, taken_reservation, series_next "
            "FROM comflash_reserve($1, $2::integer, $3, $4)",
            {prefix, std::to_string(floor), station, port});
        Reservation taken;
        taken.value = static_cast<int>(row.Number(0, 0));
        taken.id = row.Number(0, 1);
        taken.seriesNext = static_cast<int>(row.Number(0, 2));
        return taken;
    } catch (const LineUnreachable&) {
        throw;
    } catch (const LineError& e) {
        if (e.SqlState() == "CF001") {
            throw SerialNumberError(
                "The serial-number series " + prefix + " of the line database is used up (" +
                SerialText(prefix, 999999) + " cannot be advanced): enter a new serial number");
        }
        throw;
    }
}

void SettleReservation(PgConnection& connection, long long reservation, SerialFate fate) {
    connection.Exec(
        "UPDATE comflash_serial_numbers SET state = $2, settled_at = now() "
        "WHERE reservation = $1::bigint AND state = 'reserved'",
        {std::to_string(reservation), std::string(SerialFateName(fate))});
}

bool NumberUnconfirmed(PgConnection& connection, const std::string& prefix, int value) {
    PgResult row = connection.Exec(
        "SELECT count(*) FROM comflash_serial_numbers "
        "WHERE prefix = $1 AND value = $2::integer AND state IN ('reserved', 'unconfirmed')",
        {prefix, std::to_string(value)});
    return row.Number(0, 0) > 0;
}

bool ConfirmNumber(PgConnection& connection, const std::string& prefix, int value) {
    PgResult confirmed = connection.Exec(
        "UPDATE comflash_serial_numbers SET state = 'written', settled_at = now() "
        "WHERE prefix = $1 AND value = $2::integer AND state IN ('reserved', 'unconfirmed') "
        "RETURNING value",
        {prefix, std::to_string(value)});
    return confirmed.Rows() > 0;
}

int JoinSeries(PgConnection& connection, const std::string& prefix, int floor) {
    PgResult row =
        connection.Exec("SELECT comflash_join($1, $2::integer)", {prefix, std::to_string(floor)});
    return static_cast<int>(row.Number(0, 0));
}

int NextInSeries(PgConnection& connection, const std::string& prefix, int floor) {
    PgResult row = connection.Exec(
        "SELECT (SELECT next_value FROM comflash_series WHERE prefix = $1), "
        "(SELECT min(value) FROM comflash_serial_numbers "
        " WHERE prefix = $1 AND state IN ('refused', 'not-sent'))",
        {prefix});
    if (row.IsNull(0, 0))
        return floor;
    const int lineNext = static_cast<int>(row.Number(0, 0));
    if (floor > lineNext)
        return floor;  // joining gives up the numbers given back
    return row.IsNull(0, 1) ? lineNext : static_cast<int>(row.Number(0, 1));
}

std::string SerialText(const std::string& prefix, int value) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06d", value);
    return prefix + digits;
}

}  // namespace comflash::line
