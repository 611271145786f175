// The station window on a line database (the throwaway server the line tests
// start), against one simulator per port: the ports write at once, and a
// window closed in the middle of a write leaves the number unconfirmed on the
// line as in the record.
#include <gtest/gtest.h>

#include <QPushButton>
#include <map>
#include <set>

#include "tests/gui/station_fixture.h"
#include "tests/gui/station_lines.h"
#include "tests/line/line_fixture.h"

namespace comflash::guitest {
namespace {

using testing::QueryText;
using testing::ScratchDatabase;

class StationOnALine : public StationTest {
protected:
    StationOnALine() { Store("SN", "QA000100"); }

    std::map<std::string, std::string> NumberStates() const {
        line::PgConnection connection(database_.Conninfo());
        line::PgResult rows = connection.Exec(
            "SELECT prefix || lpad(value::text, 6, '0'), state FROM comflash_serial_numbers");
        std::map<std::string, std::string> states;
        for (int i = 0; i < rows.Rows(); ++i)
            states[rows.Text(i, 0)] = rows.Text(i, 1);
        return states;
    }

    ScratchDatabase database_;
    SimLines lines_;
};

TEST_F(StationOnALine, EveryTileServesDevicesThatSayHelloOnce) {
    std::vector<SimLine*> lines;
    for (const char* name : {"a", "b"}) {
        lines.push_back(&lines_.Start(
            name, {"--devices", "3", "--power-up-delay", "200", "--hello-once", "1500"}));
    }
    station::StationWindow& window =
        StartStation({.run = {.ports = {lines[0]->port, lines[1]->port},
                              .writeSerialNumbers = true,
                              .line = {.address = database_.Conninfo()}}});
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedDevices() == 6; }, kBatchPatienceMs))
        << window.TotalsText().toStdString() << " " << window.StatusText().toStdString();
    std::set<std::string> numbers;
    for (SimLine* line : lines) {
        for (const auto& device : SimLines::Report(*line, 3)) {
            EXPECT_EQ(device["outcome"].String(), "serial-written");
            numbers.insert(device["serial_record"].String());
        }
    }
    EXPECT_EQ(numbers.size(), 6u) << "no number in two devices";
    window.CloseAll();
    window.Finish();
    const auto states = NumberStates();
    EXPECT_EQ(states.size(), 6u);
    for (const auto& [number, state] : states)
        EXPECT_EQ(state, "written") << number;
}

// The window closed while a record waits for its acknowledgement: the device
// may hold the number, so it is unconfirmed in the record and on the line.
TEST_F(StationOnALine, ClosedMidWriteLeavesTheNumberUnconfirmedEverywhere) {
    SimLine& line = lines_.Start("slow", {"--devices", "1", "--device-delay", "3000", "--trace"});
    const auto record = lines_.Path("record.jsonl");
    station::StationWindow& window =
        StartStation({.run = {.ports = {line.port},
                              .writeSerialNumbers = true,
                              .record = record,
                              .line = {.address = database_.Conninfo()}}});
    window.OpenAllButton()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return line.simulator->Stderr().find("write     AB AB 00 0F 94") != std::string::npos; },
        kBatchPatienceMs))
        << line.simulator->Stderr();

    window.CloseAll();
    window.Finish();
    const auto written = simtest::ReadJsonLines(record);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0]["serial_sent"].String(), "QA000100");
    EXPECT_EQ(written[0]["serial_fate"].String(), "unconfirmed");
    EXPECT_EQ(NumberStates().at("QA000100"), "unconfirmed");
}

}  // namespace
}  // namespace comflash::guitest
