#include "line/line_schema.h"

#include <chrono>
#include <string>
#include <utility>

#include "line/line_error.h"

namespace comflash::line {
namespace {

// "comflash" in ASCII: the advisory lock every station takes to migrate.
constexpr const char* kMigrationLock = "7165064137410408296";

// Each step takes the schema from the version before it to its own.
const char* const kSteps[] = {
    // 1: serial-number series, the numbers handed out, and the device rows.
    R"sql(
CREATE TABLE comflash_series (
    prefix text PRIMARY KEY,
    next_value integer NOT NULL CHECK (next_value BETWEEN 0 AND 999999)
);

-- Every number the line has handed out, with its reservation and its fate:
-- 'reserved' until the station reports the fate; 'refused' and 'not-sent'
-- numbers go out again; 'skipped' ones are given up for good.
CREATE TABLE comflash_serial_numbers (
    prefix text NOT NULL REFERENCES comflash_series,
    value integer NOT NULL,
    state text NOT NULL CHECK (state IN
        ('reserved', 'written', 'refused', 'unconfirmed', 'not-sent', 'skipped')),
    reservation bigint NOT NULL UNIQUE,
    station text NOT NULL,
    port text NOT NULL,
    reserved_at timestamptz NOT NULL DEFAULT now(),
    settled_at timestamptz,
    PRIMARY KEY (prefix, value)
);
CREATE INDEX comflash_serial_numbers_returned ON comflash_serial_numbers (prefix, value)
    WHERE state IN ('refused', 'not-sent');
CREATE SEQUENCE comflash_reservations;

CREATE TABLE comflash_devices (
    key text PRIMARY KEY,
    finished_at timestamptz NOT NULL,
    station text NOT NULL,
    port text NOT NULL,
    outcome text NOT NULL,
    image_length integer NOT NULL,
    image_crc integer NOT NULL,
    serial_number text,
    serial_fate text,
    duration_ms bigint NOT NULL,
    tool_version text NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX comflash_devices_finished_at ON comflash_devices (finished_at);

-- A station joins a series: its next number becomes the higher of the
-- line's and the station's own. Returns the series' next number.
CREATE FUNCTION comflash_join(p_prefix text, p_floor integer) RETURNS integer
LANGUAGE plpgsql AS $$
DECLARE
    line_next integer;
BEGIN
    INSERT INTO comflash_series (prefix, next_value) VALUES (p_prefix, p_floor)
        ON CONFLICT (prefix) DO NOTHING;
    SELECT next_value INTO line_next FROM comflash_series WHERE prefix = p_prefix FOR UPDATE;
    IF p_floor > line_next THEN
        -- A station ahead of the line may have written any number below its
        -- own (a range split by hand): numbers given back below it may be in
        -- its devices, so they never go out again.
        UPDATE comflash_serial_numbers SET state = 'skipped', settled_at = now()
            WHERE prefix = p_prefix AND state IN ('refused', 'not-sent');
        UPDATE comflash_series SET next_value = p_floor WHERE prefix = p_prefix;
        line_next := p_floor;
    END IF;
    RETURN line_next;
END $$;

-- One reservation: the series row stays locked to the commit, so stations
-- and ports reserving at once are served one after another, each with its
-- own number. A number given back goes out again before any new one.
CREATE FUNCTION comflash_reserve(p_prefix text, p_floor integer, p_station text, p_port text,
    OUT taken_value integer, OUT taken_reservation bigint, OUT series_next integer)
LANGUAGE plpgsql AS $$
BEGIN
    series_next := comflash_join(p_prefix, p_floor);
    taken_reservation := nextval('comflash_reservations');
    UPDATE comflash_serial_numbers AS s
        SET state = 'reserved', reservation = taken_reservation, station = p_station,
            port = p_port, reserved_at = now(), settled_at = NULL
        WHERE s.prefix = p_prefix AND s.value = (
            SELECT min(r.value) FROM comflash_serial_numbers AS r
                WHERE r.prefix = p_prefix AND r.state IN ('refused', 'not-sent'))
        RETURNING s.value INTO taken_value;
    IF taken_value IS NULL THEN
        IF series_next >= 999999 THEN
            RAISE EXCEPTION USING ERRCODE = 'CF001',
                MESSAGE = format('the serial-number series %s is used up', p_prefix);
        END IF;
        taken_value := series_next;
        series_next := series_next + 1;
        UPDATE comflash_series SET next_value = series_next WHERE prefix = p_prefix;
        INSERT INTO comflash_serial_numbers (prefix, value, state, reservation, station, port)
            VALUES (p_prefix, taken_value, 'reserved', taken_reservation, p_station, p_port);
    END IF;
END $$;
)sql",
    // 2: the device's own serial number from its identity reply, as the
    // --record file has it: its kind ('number'; 'none' for a device that
    // holds none; 'unknown' when it could not be read, with the reason;
    // NULL when no identity reply came), and the number. Rows made before
    // keep NULL.
    R"sql(
ALTER TABLE comflash_devices
    ADD COLUMN device_serial_kind text CHECK (device_serial_kind IN ('number', 'none', 'unknown')),
    ADD COLUMN device_serial text,
    ADD COLUMN device_serial_unknown text;
-- Which firmware a device got, asked by its number.
CREATE INDEX comflash_devices_device_serial ON comflash_devices (device_serial)
    WHERE device_serial IS NOT NULL;
)sql",
    // 3: each reservation names the server process of the connection that
    // made it, so that a number reserved by a station whose connection is
    // gone (killed mid-write) is seen at once, not after a while. Numbers
    // reserved before keep NULL.
    R"sql(
ALTER TABLE comflash_serial_numbers ADD COLUMN backend_pid integer;
CREATE OR REPLACE FUNCTION comflash_reserve(p_prefix text, p_floor integer, p_station text,
    p_port text, OUT taken_value integer, OUT taken_reservation bigint, OUT series_next integer)
LANGUAGE plpgsql AS $$
BEGIN
    series_next := comflash_join(p_prefix, p_floor);
    taken_reservation := nextval('comflash_reservations');
    UPDATE comflash_serial_numbers AS s
        SET state = 'reserved', reservation = taken_reservation, station = p_station,
            port = p_port, reserved_at = now(), settled_at = NULL,
            backend_pid = pg_backend_pid()
        WHERE s.prefix = p_prefix AND s.value = (
            SELECT min(r.value) FROM comflash_serial_numbers AS r
                WHERE r.prefix = p_prefix AND r.state IN ('refused', 'not-sent'))
        RETURNING s.value INTO taken_value;
    IF taken_value IS NULL THEN
        IF series_next >= 999999 THEN
            RAISE EXCEPTION USING ERRCODE = 'CF001',
                MESSAGE = format('the serial-number series %s is used up', p_prefix);
        END IF;
        taken_value := series_next;
        series_next := series_next + 1;
        UPDATE comflash_series SET next_value = series_next WHERE prefix = p_prefix;
        INSERT INTO comflash_serial_numbers
            (prefix, value, state, reservation, station, port, backend_pid)
            VALUES (p_prefix, taken_value, 'reserved', taken_reservation, p_station, p_port,
                    pg_backend_pid());
    END IF;
END $$;
)sql",
};

static_assert(std::size(kSteps) == kLineSchemaVersion);

// The version and identity of the line, the row made on first sight.
std::pair<int, std::string> ReadSchemaRow(PgConnection& connection) {
    connection.Exec(
        "CREATE TABLE IF NOT EXISTS comflash_schema (version integer NOT NULL, "
        "line_id text NOT NULL DEFAULT md5(random()::text || clock_timestamp()::text))");
    connection.Exec(
        "INSERT INTO comflash_schema (version) SELECT 0 "
        "WHERE NOT EXISTS (SELECT 1 FROM comflash_schema)");
    PgResult row = connection.Exec("SELECT version, line_id FROM comflash_schema");
    return {static_cast<int>(row.Number(0, 0)), row.Text(0, 1)};
}

// Runs the migration inside the open transaction; returns the line's identity.
std::string Migrate(PgConnection& connection) {
    const auto [version, lineId] = ReadSchemaRow(connection);
    if (version > kLineSchemaVersion) {
        throw LineError("the line database's tables are of version " + std::to_string(version) +
                        ", newer than this comflash knows (" + std::to_string(kLineSchemaVersion) +
                        "): update comflash on this station");
    }
    for (int step = version; step < kLineSchemaVersion; ++step)
        connection.Exec(kSteps[step], {}, std::chrono::seconds(30));
    if (version < kLineSchemaVersion) {
        connection.Exec("UPDATE comflash_schema SET version = $1::integer",
                        {std::to_string(kLineSchemaVersion)});
    }
    return lineId;
}

}  // namespace

std::string EnsureLineSchema(PgConnection& connection) {
    connection.Exec("BEGIN");
    try {
        // Another station may be migrating right now: wait for it.
        connection.Exec(std::string("SELECT pg_advisory_xact_lock(") + kMigrationLock + ")", {},
                        std::chrono::seconds(30));
        const std::string lineId = Migrate(connection);
        connection.Exec("COMMIT");
        return lineId;
    } catch (const LineUnreachable&) {
        throw;  // the server rolls back a transaction whose connection is gone
    } catch (...) {
        try {
            connection.Exec("ROLLBACK");
        } catch (const LineError&) {
        }
        throw;
    }
}

}  // namespace comflash::line
