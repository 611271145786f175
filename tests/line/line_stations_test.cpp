// Several stations, each with several ports, on one line at once; and
// stations killed while a number is on its way.
#include <gtest/gtest.h>
#include <signal.h>

#include "line/line_schema.h"
#include "line_fixture.h"
#include "station_runs.h"
#include "tcp_proxy.h"

namespace comflash::testing {
namespace {

class LineStationsTest : public ::testing::Test {
protected:
    ScratchDatabase database;
    StationFolder outputFolder{"output"};
    const std::filesystem::path& output = outputFolder.Path();
};

TEST_F(LineStationsTest, StationsAndPortsAtOnceNeverShareANumber) {
    constexpr int kStations = 3;
    constexpr int kPorts = 2;
    constexpr int kDevices = 30;
    std::vector<StationRun> runs;
    for (int i = 0; i < kStations; ++i) {
        runs.push_back(StartStation("st-" + std::to_string(i), database.Conninfo(),
                                    {"--ports", std::to_string(kPorts), "--devices",
                                     std::to_string(kDevices), "--seed", std::to_string(i + 1)},
                                    output));
    }
    for (auto& run : runs)
        ASSERT_EQ(run.process->Wait(Patience(std::chrono::seconds(120))), 0)
            << run.process->Stderr();
    CheckLineAccount(database.Conninfo(), runs, kPorts, kDevices, 100, false);
}

// The station dies (SIGKILL: a crash, a power cut) while its number may be
// in a device: the line keeps the number reserved and never hands it out.
TEST_F(LineStationsTest, StationKilledWithANumberOnItsWayLeavesItReservedForGood) {
    StationRun killed = StartStation("st-killed", database.Conninfo(), {"--hold"}, output);
    ASSERT_TRUE(WaitFor([&] { return Said(killed, "taken") == 1; }, std::chrono::seconds(30)))
        << killed.process->Stderr();
    ::kill(killed.process->Pid(), SIGKILL);
    killed.process->Wait(Patience(std::chrono::seconds(10)));

    StationRun next = StartStation("st-next", database.Conninfo(), {"--devices", "10"}, output);
    ASSERT_EQ(next.process->Wait(Patience(std::chrono::seconds(60))), 0) << next.process->Stderr();
    for (const auto& one : SettledBy(next))
        EXPECT_NE(one.number, "QA000100");
    EXPECT_EQ(
        QueryText(database.Conninfo(),
                  "SELECT state || ' ' || station FROM comflash_serial_numbers WHERE value = 100"),
        "reserved st-killed");
}

// The station dies while its reservation is at the server and the reply on
// its way back: the station never learned the number, the line committed it.
TEST_F(LineStationsTest, StationKilledInTheMiddleOfAReservationLeavesAGap) {
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    const std::string throughRelay =
        database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port());
    line::PgConnection made(database.Conninfo());
    line::EnsureLineSchema(made);
    relay.HoldRepliesFrom("FROM comflash_reserve(");
    StationRun killed = StartStation("st-killed", throughRelay, {"--hold"}, output);
    ASSERT_TRUE(WaitFor(
        [&] {
            return QueryText(database.Conninfo(), "SELECT station FROM comflash_serial_numbers") ==
                   "st-killed";
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(Said(killed, "taken"), 0) << "the reply never reached the station";
    ::kill(killed.process->Pid(), SIGKILL);
    killed.process->Wait(Patience(std::chrono::seconds(10)));

    StationRun next = StartStation("st-next", database.Conninfo(), {"--devices", "10"}, output);
    ASSERT_EQ(next.process->Wait(Patience(std::chrono::seconds(60))), 0) << next.process->Stderr();
    for (const auto& one : SettledBy(next))
        EXPECT_NE(one.number, "QA000100");
    EXPECT_EQ(QueryText(database.Conninfo(),
                        "SELECT state FROM comflash_serial_numbers WHERE value = 100"),
              "reserved");
}

}  // namespace
}  // namespace comflash::testing
