// The line's server stops in the middle of a run and starts again: serial
// numbers pause and resume by themselves, device rows and fates wait in the
// stations' spools and arrive once each. On a server of its own, since
// stopping the shared one would break the other tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "line_fixture.h"
#include "station_runs.h"

namespace comflash::testing {
namespace {

// Runs scripts/line-test-server.
void Server(const std::string& action, const std::filesystem::path& state) {
    const std::string command =
        TestPath("COMFLASH_LINE_SERVER_SCRIPT") + " " + action + " '" + state.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class LineOutageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        state_ = new StationFolder("outage-server");
        Server("start", state_->Path());
    }
    static void TearDownTestSuite() {
        Server("stop", state_->Path());
        delete state_;
    }
    void TearDown() override {
        // A failed test must not leave the next one without a server.
        Server("resume", state_->Path());
    }

    static inline StationFolder* state_ = nullptr;
    ScratchDatabase database{ServerConninfo(state_->Path())};
    StationFolder outputFolder{"output"};
};

TEST_F(LineOutageTest, ServerStoppedMidRunLosesNothingAndSendsNothingTwice) {
    constexpr int kStations = 3;
    constexpr int kPorts = 2;
    constexpr int kDevices = 24;
    std::vector<StationRun> runs;
    for (int i = 0; i < kStations; ++i) {
        runs.push_back(
            StartStation("st-" + std::to_string(i), database.Conninfo(),
                         {"--ports", std::to_string(kPorts), "--devices", std::to_string(kDevices),
                          "--seed", std::to_string(i + 7), "--pace-ms", "40"},
                         outputFolder.Path()));
    }
    auto settledSoFar = [&] {
        int settled = 0;
        for (const auto& run : runs)
            settled += Said(run, "settled");
        return settled;
    };
    ASSERT_TRUE(WaitFor([&] { return settledSoFar() >= kStations * kPorts * 3; },
                        std::chrono::seconds(60)));

    Server("halt", state_->Path());
    const int settledBefore = settledSoFar();
    // Every port of every station finds the line gone and pauses.
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const auto& run : runs) {
                if (Said(run, "unreachable") < kPorts)
                    return false;
            }
            return true;
        },
        std::chrono::seconds(30)));
    EXPECT_LE(settledSoFar(), settledBefore + kStations * kPorts)
        << "no port got a new number while the line was away";
    Server("resume", state_->Path());

    for (auto& run : runs) {
        EXPECT_EQ(run.process->Wait(Patience(std::chrono::seconds(120))), 0)
            << run.process->Stderr();
        EXPECT_EQ(Said(run, "done"), 1) << "the spool was sent";
    }
    // A reservation cut off by the stop may have been committed unheard.
    CheckLineAccount(database.Conninfo(), runs, kPorts, kDevices, 100, true);
}

}  // namespace
}  // namespace comflash::testing
