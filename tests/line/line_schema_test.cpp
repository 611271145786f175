// The tables are made by the stations themselves: at the same moment from
// several of them, again and again, and never by a tool older than them.
#include "line/line_schema.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "line/line_error.h"
#include "line_fixture.h"

namespace comflash::testing {
namespace {

using line::EnsureLineSchema;
using line::PgConnection;

// Stations starting together each make the tables as soon as they connect;
// the race is at the server, so each "station" is a connection of its own
// released at one instant. Several rounds, each on a fresh database, since
// one round may happen to be served one after another.
TEST(LineSchema, StationsCreatingItAtTheSameMomentAllSucceedWithOneLine) {
    constexpr int kStations = 4;
    for (int round = 0; round < 4; ++round) {
        ScratchDatabase database;
        std::vector<std::unique_ptr<PgConnection>> connections;
        for (int i = 0; i < kStations; ++i)
            connections.push_back(std::make_unique<PgConnection>(database.Conninfo()));
        std::atomic<int> waiting{kStations};
        std::vector<std::string> lineIds(kStations);
        std::vector<std::string> failures(kStations);
        std::vector<std::thread> stations;
        for (int i = 0; i < kStations; ++i) {
            stations.emplace_back([&, i] {
                --waiting;
                while (waiting > 0) {
                }
                try {
                    lineIds[i] = EnsureLineSchema(*connections[i]);
                } catch (const std::exception& e) {
                    failures[i] = e.what();
                }
            });
        }
        for (auto& station : stations)
            station.join();
        for (int i = 0; i < kStations; ++i) {
            EXPECT_EQ(failures[i], "") << "station " << i << " in round " << round;
            EXPECT_EQ(lineIds[i], lineIds[0]) << "one database is one line";
        }
        EXPECT_FALSE(lineIds[0].empty());
        EXPECT_EQ(QueryText(database.Conninfo(), "SELECT version FROM comflash_schema"),
                  std::to_string(line::kLineSchemaVersion));
        EXPECT_EQ(QueryText(database.Conninfo(), "SELECT count(*) FROM comflash_schema"), "1");
    }
}

TEST(LineSchema, FoundCurrentChangesNothing) {
    ScratchDatabase database;
    PgConnection connection(database.Conninfo());
    const std::string lineId = EnsureLineSchema(connection);
    connection.Exec("INSERT INTO comflash_series (prefix, next_value) VALUES ('QA', 7)");
    EXPECT_EQ(EnsureLineSchema(connection), lineId);
    EXPECT_EQ(QueryText(database.Conninfo(), "SELECT next_value FROM comflash_series"), "7");
}

// A line made by an earlier comflash is upgraded by the first station of
// this one that connects: its rows stay, the new columns are empty in them.
TEST(LineSchema, EarlierVersionIsUpgradedKeepingItsRows) {
    ScratchDatabase database;
    PgConnection connection(database.Conninfo());
    const std::string lineId = EnsureLineSchema(connection);
    // The tables as version 1 left them.
    connection.Exec(
        "ALTER TABLE comflash_devices DROP COLUMN device_serial_kind, DROP COLUMN device_serial, "
        "DROP COLUMN device_serial_unknown");
    connection.Exec("ALTER TABLE comflash_serial_numbers DROP COLUMN backend_pid");
    connection.Exec("UPDATE comflash_schema SET version = 1");
    connection.Exec(
        "INSERT INTO comflash_devices (key, finished_at, station, port, outcome, image_length, "
        "image_crc, duration_ms, tool_version) "
        "VALUES ('k1', now(), 'st-a', 'COM1', 'updated', 4096, 48879, 1500, '0.1.0')");

    EXPECT_EQ(EnsureLineSchema(connection), lineId) << "the same line";
    EXPECT_EQ(QueryText(database.Conninfo(), "SELECT version FROM comflash_schema"),
              std::to_string(line::kLineSchemaVersion));
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT outcome || ' ' || coalesce(device_serial, '-') "
                        "FROM comflash_devices WHERE key = 'k1'"),
              "updated -");
}

// Tables of a later comflash may mean something else: an older station must
// not write into them.
TEST(LineSchema, NewerThanTheToolIsRefusedWithWhatToDo) {
    ScratchDatabase database;
    PgConnection connection(database.Conninfo());
    EnsureLineSchema(connection);
    connection.Exec("UPDATE comflash_schema SET version = version + 1");
    try {
        EnsureLineSchema(connection);
        FAIL() << "a newer schema was taken";
    } catch (const line::LineError& e) {
        EXPECT_NE(std::string(e.what()).find("update comflash"), std::string::npos) << e.what();
    }
    // The connection stays usable: the failed migration was rolled back.
    EXPECT_EQ(connection.Exec("SELECT 1").Text(0, 0), "1");
}

}  // namespace
}  // namespace comflash::testing
