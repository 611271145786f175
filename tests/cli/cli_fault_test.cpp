// Each fault a device can play gives the log line, the count and the exit
// status that the operator is promised.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace comflash::testing {
namespace {

struct FaultCase {
    const char* name;
    std::string fault;
    std::vector<std::string> cliOptions;
    const char* logLine;  // expected on standard output, or ""
    const char* box;      // expected on standard error, or ""
    int status;
    const char* counters;
};

class CliFaults : public CliTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CliFaults, GiveTheirLineCountAndStatus) {
    const FaultCase& row = GetParam();
    // A second device keeps the line up while the tool waits out its time-out.
    const std::string port = StartSim({"--devices", "2", "--fault", "1:" + row.fault});
    std::vector<std::string> arguments = {"--port", port, "--devices", "1"};
    arguments.insert(arguments.end(), row.cliOptions.begin(), row.cliOptions.end());
    const CliResult cli = RunCli(arguments);

    EXPECT_EQ(cli.status, row.status) << cli.out << cli.err;
    EXPECT_TRUE(cli.OutHas(row.logLine)) << cli.out;  // "" is always there
    EXPECT_TRUE(cli.ErrHas(row.box)) << cli.err;
    EXPECT_TRUE(cli.OutHas(row.counters)) << cli.out;
    const auto devices = ReportLines(1);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(devices[0]["as_expected"].Bool()) << devices[0]["outcome"].String();
    if (row.status != 0) {
        EXPECT_FALSE(cli.OutHas(" ...End")) << "a failed device is never counted good";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaults,
    ::testing::Values(
        FaultCase{"init_refused", "init-refused", {}, "Init EEP Err", "", 1, "Ok:0 Err:0"},
        FaultCase{"block_refused",
                  "block-refused:512",
                  {},
                  "Write 512 Err!",
                  "Command Overtimer!",
                  1,
                  "Ok:0 Err:1"},
        FaultCase{"wrong_checksum", "wrong-checksum", {}, "Write Err", "", 1, "Ok:0 Err:1"},
        FaultCase{"no_identity_reply",
                  "no-reply:identity",
                  {},
                  "",
                  "Command Overtimer!",
                  1,
                  "Ok:0 Err:0"},
        FaultCase{"no_checksum_reply",
                  "no-reply:checksum",
                  {},
                  "",
                  "Command Overtimer!",
                  1,
                  "Ok:0 Err:0"},
        FaultCase{
            "split_init_reply", "split-reply:init", {}, "", "Command Overtimer!", 1, "Ok:0 Err:0"},
        FaultCase{"noise", "noise", {}, " ...End", "", 0, "Ok:1 Err:0"},
        FaultCase{"hello_without_digit", "hello-no-digit", {}, "E0", "", 1, "Ok:0 Err:1"},
        FaultCase{"hello_version_0", "hello-version0", {}, "E0", "", 1, "Ok:0 Err:1"},
        FaultCase{"hello_refused_by_l3", "hello-l3", {"--l3"}, "E03", "", 1, "Ok:0 Err:0"},
        FaultCase{"double_hello", "double-hello", {}, " ...End", "", 0, "Ok:1 Err:0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
