// The line's serial-number series, as requests to the database. A series is
// every number of one prefix (the characters before the last six digits).
#pragma once

#include <string>

#include "app/serial_number_source.h"
#include "line/pg_connection.h"

namespace comflash::line {

struct Reservation {
    long long id = 0;    // names the reservation when its fate is written
    int value = 0;       // the number's last six digits
    int seriesNext = 0;  // the series' next new number after this one
    std::string lineId;  // the line it was made on (LineDatabase fills it in)
};

// Joins the series and takes its next number for `station` and `port`, in
// one transaction: a number given back first, else a new one. `floor` is the
// station's own next number (see JoinSeries). Raises SerialNumberError when
// the series is used up, and as PgConnection::Exec does; on LineUnreachable
// the number may have been reserved, and is then a gap for good.
Reservation ReserveNumber(PgConnection& connection, const std::string& prefix, int floor,
                          const std::string& station, const std::string& port);

// Writes the fate of a reservation. Only a reservation still open changes,
// so a fate sent twice (a spool sent again) changes nothing the second time.
void SettleReservation(PgConnection& connection, long long reservation, SerialFate fate);

// The series' next new number becomes the higher of the line's and `floor`
// (a series not known yet starts at `floor`); returns it. A station ahead of
// the line may hold any number below its own, so numbers given back before
// are then given up.
int JoinSeries(PgConnection& connection, const std::string& prefix, int floor);

// The number the next reservation would take with `floor`, changing nothing.
int NextInSeries(PgConnection& connection, const std::string& prefix, int floor);

// Whether the number was handed out and its fate is still unknown (reserved,
// or settled as unconfirmed).
bool NumberUnconfirmed(PgConnection& connection, const std::string& prefix, int value);
// The device that holds the number came back and says so: written. False
// when the number was neither reserved nor unconfirmed (nothing changed).
bool ConfirmNumber(PgConnection& connection, const std::string& prefix, int value);

// The prefix followed by the value as six digits.
std::string SerialText(const std::string& prefix, int value);

}  // namespace comflash::line
