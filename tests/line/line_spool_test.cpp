// The spool keeps what the server does not have yet: whole entries, in
// order, from several processes at once, across a crash in the middle of a
// write; and sending an entry again is harmless.
#include "line/line_spool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>

#include "line/device_row.h"
#include "line/line_error.h"
#include "line/line_schema.h"
#include "line/serial_series.h"
#include "line_fixture.h"

namespace comflash::testing {
namespace {

using line::LineSpool;
using line::SpoolEntry;

std::vector<std::string> Keys(const std::vector<SpoolEntry>& entries) {
    std::vector<std::string> keys;
    for (const auto& entry : entries)
        keys.push_back(entry.key);
    return keys;
}

class SpoolTest : public ::testing::Test {
protected:
    StationFolder station{"spool"};
    LineSpool spool{station.Settings()};
};

TEST_F(SpoolTest, KeepsEntriesInOrderAndDropsOnlyThoseSent) {
    for (const char* key : {"a", "b", "c", "d"})
        spool.Append({key, std::string("{\"n\":\"") + key + "\"}"});
    spool.Remove({"b", "d"});
    const auto entries = spool.Entries();
    EXPECT_EQ(Keys(entries), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(entries[1].body, "{\"n\":\"c\"}");
    spool.Append({"e", "{}"});
    EXPECT_EQ(Keys(spool.Entries()), (std::vector<std::string>{"a", "c", "e"}));
}

// A crash in the middle of an append leaves a line without its end; the
// next entry must not be glued onto it and lost with it.
TEST_F(SpoolTest, EntryAfterALineCutShortByACrashIsWhole) {
    spool.Append({"first", "{\"whole\":1}"});
    std::ofstream(spool.File(), std::ios::app) << "cut\t{\"who";
    EXPECT_EQ(Keys(spool.Entries()), (std::vector<std::string>{"first"}))
        << "a line without its end is not an entry yet";
    spool.Append({"next", "{\"whole\":2}"});
    const auto entries = spool.Entries();
    ASSERT_EQ(Keys(entries), (std::vector<std::string>{"first", "cut", "next"}));
    EXPECT_EQ(entries[2].body, "{\"whole\":2}");
}

TEST_F(SpoolTest, ProcessesAppendingAtOnceLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kEntries = 100;
    const std::string kBody = "{\"pad\":\"" + std::string(200, 'x') + "\"}";
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            LineSpool own(station.Settings());
            for (int i = 0; i < kEntries; ++i)
                own.Append({std::to_string(p) + "-" + std::to_string(i), kBody});
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<int, int> nextOf;
    const auto entries = spool.Entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kProcesses * kEntries));
    for (const auto& entry : entries) {
        const int process = std::stoi(entry.key.substr(0, entry.key.find('-')));
        const int index = std::stoi(entry.key.substr(entry.key.find('-') + 1));
        EXPECT_EQ(index, nextOf[process]++) << "each process's entries in its order";
        EXPECT_EQ(entry.body, kBody) << entry.key;
    }
}

// Entries are sent again whenever the station cannot know that the server
// took them (a reply lost, a crash before the spool was rewritten).
class SentAgainTest : public ::testing::Test {
protected:
    ScratchDatabase database;
    line::PgConnection connection{database.Conninfo()};
    std::string lineId = line::EnsureLineSchema(connection);
};

TEST_F(SentAgainTest, DeviceRowIsOneRow) {
    DeviceRecord row;
    row.finishedAt = 1700000000123;
    row.port = "COM1";
    row.result = RunResult::Updated;
    row.imageLength = 4096;
    row.imageCrc = 0xBEEF;
    row.durationMs = 1500;
    const SpoolEntry entry = line::DeviceEntry(row, "st-a", "0.1.0", line::NewEntryKey(), lineId);
    line::SendEntry(connection, lineId, entry);
    line::SendEntry(connection, lineId, entry);
    EXPECT_EQ(QueryText(database.Conninfo(), "SELECT count(*) FROM comflash_devices"), "1");
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT station || ' ' || port || ' ' || outcome || ' ' || image_length || "
                        "' ' || image_crc || ' ' || duration_ms || ' ' || "
                        "(extract(epoch FROM finished_at) * 1000)::bigint FROM comflash_devices"),
              "st-a COM1 updated 4096 48879 1500 1700000000123");
}

// A refusal sent again after its number went out once more must not give
// that number back a second time: it is now another device's.
TEST_F(SentAgainTest, FateSentAgainLeavesALaterReservationAlone) {
    const auto first = line::ReserveNumber(connection, "QA", 100, "st-a", "COM1");
    const SpoolEntry refused = line::FateEntry(first.id, SerialFate::Refused, lineId);
    line::SendEntry(connection, lineId, refused);
    const auto again = line::ReserveNumber(connection, "QA", 100, "st-b", "COM1");
    ASSERT_EQ(again.value, first.value) << "the refused number goes out again";

    line::SendEntry(connection, lineId, refused);
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT state FROM comflash_serial_numbers WHERE value = $1::integer",
                        {std::to_string(first.value)}),
              "reserved");
    EXPECT_NE(line::ReserveNumber(connection, "QA", 100, "st-c", "COM1").value, first.value);
}

// A reservation number means nothing in another database: the entry is
// refused for good (and set aside by the sender), never applied.
TEST_F(SentAgainTest, EntryOfAnotherLineIsRefused) {
    const auto taken = line::ReserveNumber(connection, "QA", 100, "st-a", "COM1");
    const SpoolEntry elsewhere = line::FateEntry(taken.id, SerialFate::Refused, "another-line");
    EXPECT_THROW(line::SendEntry(connection, lineId, elsewhere), line::LineError);
    EXPECT_EQ(QueryText(database.Conninfo(), "SELECT state FROM comflash_serial_numbers"),
              "reserved");
    EXPECT_THROW(line::SendEntry(connection, lineId, {"k", "{\"kind\":\"dev"}), line::LineError);
}

// Every row carries the device's own number as the --record file has it,
// through the spool and on the server; entries that a station of an earlier
// version spooled without it are still taken.
struct DeviceSerialCase {
    const char* name;
    std::optional<DeviceSerial> device;
    const char* columns;  // device_serial_kind, device_serial, device_serial_unknown ("-": NULL)
};

class DeviceSerialRow : public SentAgainTest,
                        public ::testing::WithParamInterface<DeviceSerialCase> {};

TEST_P(DeviceSerialRow, KeepsTheDevicesOwnNumber) {
    DeviceRecord row;
    row.finishedAt = 1700000000123;
    row.port = "COM1";
    row.result = RunResult::Updated;
    row.device = GetParam().device;
    line::SendEntry(connection, lineId, line::DeviceEntry(row, "st-a", "0.1.0", line::NewEntryKey(), lineId));
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT coalesce(device_serial_kind, '-') || ' ' || "
                        "coalesce(device_serial, '-') || ' ' || "
                        "coalesce(device_serial_unknown, '-') FROM comflash_devices"),
              GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, DeviceSerialRow,
    ::testing::Values(
        DeviceSerialCase{"number", DeviceSerial{DeviceSerialKind::Number, "QA000123", ""},
                         "number QA000123 -"},
        DeviceSerialCase{"erased", DeviceSerial{DeviceSerialKind::None, "", ""}, "none - -"},
        DeviceSerialCase{
            "unreadable",
            DeviceSerial{DeviceSerialKind::Unknown, "", "its identity reply failed its check"},
            "unknown - its identity reply failed its check"},
        DeviceSerialCase{"no_identity_reply", std::nullopt, "- - -"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SentAgainTest, DeviceRowSpooledWithoutTheDevicesNumberIsTaken) {
    const SpoolEntry earlier{
        "k1",
        "{\"kind\":\"device\",\"time\":1700000000123,\"station\":\"st-a\",\"port\":\"COM1\","
        "\"outcome\":\"updated\",\"image_length\":4096,\"image_crc\":48879,"
        "\"duration_ms\":1500,\"tool_version\":\"0.1.0\",\"line\":\"" +
            lineId + "\"}"};
    line::SendEntry(connection, lineId, earlier);
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT outcome || ' ' || coalesce(device_serial_kind, '-') "
                        "FROM comflash_devices"),
              "updated -");
}

}  // namespace
}  // namespace comflash::testing
