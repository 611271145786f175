// Each fault a device can play gives the log line, the count and the exit
// status that the operator is promised, with replies taken after 30 ms of
// silence as described and, where the row can tell the two apart, with quick
// turnaround too.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace comflash::testing {
namespace {

using OperatorLines = std::vector<std::string>;

// Whether a row runs with quick turnaround as well. Quick turnaround changes
// only how a reply at the update rate is taken; a row whose fault lies in a
// hello (read at 9600 either way) or in a reply that never comes plays out
// the same in both modes, and runs once.
enum class QuickToo { Yes, No };

// The whole of what the operator reads: standard output line by line (time
// stamps shown as "<time>") and the boxes on standard error.
struct FaultCase {
    const char* name;
    std::string fault;
    std::vector<std::string> cliOptions;
    OperatorLines out;
    OperatorLines boxes;
    int status;
    QuickToo quickToo;
};

enum class Turnaround { Described, Quick };

using FaultRun = std::tuple<FaultCase, Turnaround>;

// Every row as described, and the rows that can tell the two apart again
// with quick turnaround.
std::vector<FaultRun> Runs(std::initializer_list<FaultCase> rows) {
    std::vector<FaultRun> runs;
    for (const FaultCase& row : rows) {
        runs.emplace_back(row, Turnaround::Described);
        if (row.quickToo == QuickToo::Yes)
            runs.emplace_back(row, Turnaround::Quick);
    }
    return runs;
}

class CliFaults : public CliTest, public ::testing::WithParamInterface<FaultRun> {};

TEST_P(CliFaults, GiveTheirLinesCountAndStatus) {
    const auto& [row, turnaround] = GetParam();
    // A second device keeps the line up while the tool waits out its time-out.
    const std::string port = StartSim({"--devices", "2", "--fault", "1:" + row.fault});
    std::vector<std::string> arguments = {"--port", port, "--devices", "1"};
    arguments.insert(arguments.end(), row.cliOptions.begin(), row.cliOptions.end());
    if (turnaround == Turnaround::Quick)
        arguments.push_back("--quick-turnaround");
    const CliResult cli = RunCli(arguments);

    EXPECT_EQ(cli.status, row.status) << cli.out << cli.err;
    EXPECT_EQ(cli.OutLines(), row.out) << cli.out;
    EXPECT_EQ(cli.BoxLines(), row.boxes) << cli.err;
    const auto devices = ReportLines(1);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(devices[0]["as_expected"].Bool()) << devices[0]["outcome"].String();
}

const std::string kStart = "<time> Start...";
// The simulated devices hold no serial number; the line follows the Start line.
const std::string kDevice = "device without serial number";
const std::string kEnd = "<time> ...End";
const std::string kOvertime = "Notice: Command Overtimer!";

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaults,
    ::testing::ValuesIn(Runs({
        FaultCase{"init_refused",
                  "init-refused",
                  {},
                  {kStart, kDevice, "Init EEP Err", "Ok:0 Err:0"},
                  {},
                  1,
                  QuickToo::Yes},
        FaultCase{"block_refused",
                  "block-refused:512",
                  {},
                  {kStart, kDevice, "Write 512 Err!", "Ok:0 Err:1"},
                  {kOvertime},
                  1,
                  QuickToo::Yes},
        FaultCase{"wrong_checksum",
                  "wrong-checksum",
                  {},
                  {kStart, kDevice, "Write Err", "Ok:0 Err:1"},
                  {},
                  1,
                  QuickToo::Yes},
        FaultCase{"no_identity_reply",
                  "no-reply:identity",
                  {},
                  {"Ok:0 Err:0"},
                  {kOvertime},
                  1,
                  QuickToo::No},
        FaultCase{"no_checksum_reply",
                  "no-reply:checksum",
                  {},
                  {kStart, kDevice, "Ok:0 Err:0"},
                  {kOvertime},
                  1,
                  QuickToo::No},
        // Taken at its last byte, half a reply is still no reply.
        FaultCase{"split_init_reply",
                  "split-reply:init",
                  {},
                  {kStart, kDevice, "Ok:0 Err:0"},
                  {kOvertime},
                  1,
                  QuickToo::Yes},
        // Noise ahead of a reply is what the frame rule must look past.
        FaultCase{
            "noise", "noise", {}, {kStart, kDevice, kEnd, "Ok:1 Err:0"}, {}, 0, QuickToo::Yes},
        FaultCase{
            "hello_without_digit", "hello-no-digit", {}, {"E0", "Ok:0 Err:1"}, {}, 1, QuickToo::No},
        FaultCase{
            "hello_version_0", "hello-version0", {}, {"E0", "Ok:0 Err:1"}, {}, 1, QuickToo::No},
        FaultCase{"hello_refused_by_l3",
                  "hello-l3",
                  {"--l3"},
                  {"E03", "Ok:0 Err:0"},
                  {},
                  1,
                  QuickToo::No},
        FaultCase{"double_hello",
                  "double-hello",
                  {},
                  {kStart, kDevice, kEnd, "Ok:1 Err:0"},
                  {},
                  0,
                  QuickToo::No},
    })),
    [](const auto& info) {
        const bool quick = std::get<1>(info.param) == Turnaround::Quick;
        return std::string(std::get<0>(info.param).name) + (quick ? "_quick" : "");
    });

}  // namespace
}  // namespace comflash::testing
