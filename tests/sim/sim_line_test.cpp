// The line rules of comflash-sim: speeds, a host that stays at the wrong
// speed, stopping, serving an existing path; and its command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "protocol/host_commands.h"
#include "sim_process.h"
#include "straight_host.h"
#include "test_firmware.h"

namespace comflash::simtest {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> AllLines(SimProcess& sim) {
    std::vector<std::string> lines;
    std::istringstream output(sim.RestOfOutput());
    for (std::string line; std::getline(output, line);)
        lines.push_back(line);
    return lines;
}

// The device's word, in its --trace, that it took the handshake and now
// listens at the update rate.
constexpr const char* kListensAtUpdateRate = "answered: listens at 38400 baud";
// A reply the device sends at all leaves at once; after its word that it
// ignored a request, this long without one shows there is none.
constexpr Millis kNoReplyWindow{500};

class SimLine : public ::testing::Test {
protected:
    TempDir dir_;
    std::filesystem::path report_ = dir_ / "report.jsonl";
    std::filesystem::path stderr_ = dir_ / "stderr.txt";
};

TEST_F(SimLine, RequestAtTheWrongSpeedGetsNoAnswer) {
    SimProcess sim({"--devices", "1", "--quiet-end", QuietEnd(Millis{2500}), "--trace", "--report",
                    report_.string()},
                   stderr_);
    StraightHost host(sim.NextPath());
    ASSERT_TRUE(host.AwaitFrame(command::kHello, kPatience));
    SendHandshakeReply(host.Link());
    ASSERT_TRUE(sim.AwaitStderr(kListensAtUpdateRate)) << sim.Stderr();

    // Still at 9600: the device already listens at 38400.
    SendIdentityRequest(host.Link());
    ASSERT_TRUE(sim.AwaitStderr("ignored: the device listens at 38400")) << sim.Stderr();
    EXPECT_FALSE(host.AwaitFrame(command::kIdentity, kNoReplyWindow));
    host.SetSpeed(38400);
    SendIdentityRequest(host.Link());
    EXPECT_TRUE(host.AwaitFrame(command::kIdentity, kPatience));

    EXPECT_EQ(sim.Wait(), 1) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["wrong_speed_frames"].Int(), 1);
    EXPECT_EQ(lines[0]["identity_requests"].Int(), 1);
    EXPECT_FALSE(lines[0]["as_expected"].Bool());
}

TEST_F(SimLine, ReplyToAHostBackAtAnotherSpeedArrivesGarbled) {
    // The device takes long enough over its reply for the host to be back at
    // 9600 before it leaves, however slow the machine.
    const Millis deviceDelay = testing::Patience(Millis{1500});
    SimProcess sim({"--devices", "1", "--device-delay", std::to_string(deviceDelay.count()),
                    "--quiet-end", QuietEnd(), "--trace", "--report", report_.string()},
                   stderr_);
    StraightHost host(sim.NextPath());
    ASSERT_TRUE(host.AwaitFrame(command::kHello, kPatience));
    SendHandshakeReply(host.Link());
    ASSERT_TRUE(sim.AwaitStderr(kListensAtUpdateRate)) << sim.Stderr();
    host.SetSpeed(38400);
    SendIdentityRequest(host.Link());
    ASSERT_TRUE(sim.AwaitStderr("host>dev   38400  identity")) << sim.Stderr();
    host.SetSpeed(9600);  // too early: the reply is still on its way

    ASSERT_TRUE(host.AwaitChunk(kPatience + deviceDelay)) << sim.Stderr();
    EXPECT_FALSE(host.AwaitFrame(command::kIdentity, Millis{0}));
    const Chunk& garbled = host.Chunks().back();
    EXPECT_EQ(garbled.bytes.size(), 6u + 3 + kIdentityLength);
    EXPECT_TRUE(garbled.frames.empty());

    EXPECT_EQ(sim.Wait(), 1) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["garbled_replies"].Int(), 1);
    EXPECT_FALSE(lines[0]["as_expected"].Bool());
}

TEST_F(SimLine, HostThatStaysAtTheUpdateSpeedGetsGarbledHellosUntilStopped) {
    const auto link = dir_ / "port";
    SimProcess sim(
        {"--link", link.string(), "--hello-interval", "200", "--report", report_.string()},
        stderr_);
    ASSERT_FALSE(sim.NextPath().empty());
    {
        StraightHost host(link.string(), 38400);
        while (host.Chunks().size() < 2 && host.AwaitChunk(kPatience)) {
        }
        ASSERT_GE(host.Chunks().size(), 2u);
        for (const Chunk& chunk : host.Chunks()) {
            EXPECT_TRUE(chunk.frames.empty());
            EXPECT_EQ(chunk.bytes.size() % 9, 0u) << "a garbled hello keeps its length";
        }
    }
    sim.Terminate();
    EXPECT_EQ(sim.Wait(), 1) << sim.Stderr();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["outcome"].String(), "interrupted");
    EXPECT_GE(lines[0]["garbled_hellos"].Int(), 2);
    EXPECT_EQ(lines[0]["garbled_hellos"].Int(), lines[0]["hellos"].Int());
}

// A device powered up by the operator's switch: nothing before the switch,
// and (saying hello once) one hello after it.
TEST_F(SimLine, DeviceWaitsForTheSwitchBeforeItsHello) {
    const auto power = dir_ / "power";
    SimProcess sim({"--devices", "1", "--hello-once", "1500", "--power-up-when", power.string(),
                    "--report", report_.string()},
                   stderr_);
    StraightHost host(sim.NextPath());
    EXPECT_FALSE(host.AwaitFrame(command::kHello, 1500ms)) << "a hello before the switch";
    std::ofstream(power.string()).close();
    ASSERT_TRUE(host.AwaitFrame(command::kHello, kPatience));
    EXPECT_EQ(sim.Wait(), 1) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["hellos"].Int(), 1);
    EXPECT_EQ(lines[0]["garbled_hellos"].Int(), 0);
    EXPECT_EQ(lines[0]["outcome"].String(), "unanswered");
}

TEST_F(SimLine, StoppedWhileNobodyTalkedReportsNothingAndSucceeds) {
    SimProcess sim({"--report", report_.string()}, stderr_);
    ASSERT_FALSE(sim.NextPath().empty());
    sim.Terminate();
    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    EXPECT_TRUE(ReadJsonLines(report_).empty());
}

TEST_F(SimLine, UpdateBaudSetsTheSpeedOfTheUpdatePhase) {
    const Bytes firmware = TestFirmware(600);
    WriteBinary(dir_ / "firmware.bin", firmware);
    SimProcess sim({"--devices", "1", "--update-baud", "115200", "--expect",
                    (dir_ / "firmware.bin").string(), "--report", report_.string()},
                   stderr_);
    StraightHost host(sim.NextPath());
    const UpdateRun run = RunUpdate(host, MakeImage(firmware), {.updateBaud = 115200});
    EXPECT_TRUE(run.finished) << "stopped at " << run.stoppedAt;
    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
}

TEST_F(SimLine, ReportThatCannotBeWrittenEndsTheRunWithAnError) {
    SimProcess sim({"--devices", "2", "--quiet-end", QuietEnd(), "--report", "/dev/full"}, stderr_);
    StraightHost host(sim.NextPath());
    UpdateRun run;
    Greet(host, run, {});  // the device then ends quietly and its line cannot be written
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_NE(sim.Stderr().find("--report /dev/full: cannot write"), std::string::npos)
        << sim.Stderr();
}

TEST_F(SimLine, AttachServesAnExistingSerialDevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slavePath = ptsname(master);
    const Bytes firmware = TestFirmware(700);
    WriteBinary(dir_ / "firmware.bin", firmware);

    SimProcess sim({"--attach", slavePath, "--devices", "1", "--expect",
                    (dir_ / "firmware.bin").string(), "--report", report_.string()},
                   stderr_);
    EXPECT_EQ(sim.NextPath(), slavePath);
    StraightHost host(master);
    const UpdateRun run = RunUpdate(host, MakeImage(firmware));
    EXPECT_TRUE(run.finished) << "stopped at " << run.stoppedAt;

    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["port"].String(), slavePath);
    EXPECT_TRUE(lines[0]["image_equal"].Bool());
}

TEST_F(SimLine, RandomFaultsFollowTheSeed) {
    auto plan = [this](const std::string& seed) {
        SimProcess sim({"--faults", "random", "--seed", seed, "--fault-rate", "0.5", "--devices",
                        "40", "--fault", "3:init-refused", "--show-plan"},
                       stderr_);
        auto lines = AllLines(sim);
        EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
        return lines;
    };
    const auto first = plan("42");
    ASSERT_EQ(first.size(), 40u);
    EXPECT_EQ(plan("42"), first);
    EXPECT_NE(plan("43"), first);
    EXPECT_EQ(first[2], "3 init-refused");
    const auto faulty = std::count_if(first.begin(), first.end(), [](const std::string& line) {
        return !line.ends_with(" none");
    });
    EXPECT_GT(faulty, 5);
    EXPECT_LT(faulty, 35);
}

TEST_F(SimLine, HelpListsEveryFaultKind) {
    SimProcess sim({"--help"}, stderr_);
    const std::string help = sim.RestOfOutput();
    EXPECT_EQ(sim.Wait(), 0);
    for (const char* kind :
         {"init-refused", "block-refused:OFFSET", "wrong-checksum", "no-reply:STEP",
          "split-reply:STEP", "noise", "hello-no-digit", "hello-version0", "hello-l3",
          "double-hello", "vanish:OFFSET", "serial-refused"}) {
        EXPECT_NE(help.find(kind), std::string::npos) << kind;
    }
}

struct BadArguments {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class SimBadArguments : public ::testing::TestWithParam<BadArguments> {};

TEST_P(SimBadArguments, ExitWithStatusTwoAndSayWhy) {
    TempDir dir;
    std::ofstream(dir / "existing") << "not a link";
    std::vector<std::string> arguments;
    for (std::string argument : GetParam().arguments) {
        if (const auto at = argument.find("{dir}"); at != std::string::npos) {
            argument.replace(at, 5, dir.Path().string());
        }
        arguments.push_back(argument);
    }
    SimProcess sim(arguments, dir / "stderr.txt");
    EXPECT_EQ(sim.NextPath(), "") << "no port for bad arguments";
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_NE(sim.Stderr().find(GetParam().message), std::string::npos) << sim.Stderr();
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "existing"));
}

INSTANTIATE_TEST_SUITE_P(
    Options, SimBadArguments,
    ::testing::Values(
        BadArguments{"UnknownOption", {"--colour"}, "unknown option \"--colour\""},
        BadArguments{"NoDevices", {"--devices", "0"}, "--devices takes at least 1"},
        BadArguments{"MissingValue", {"--report"}, "--report needs a value"},
        BadArguments{"FaultBeyondTheSeries",
                     {"--devices", "2", "--fault", "3:noise"},
                     "--fault names device 3 but --devices is 2"},
        BadArguments{"UnknownFault", {"--fault", "1:smoke"}, "unknown fault \"smoke\""},
        BadArguments{"TwoFaultsForOneDevice",
                     {"--fault", "1:noise", "--fault", "1:vanish:0"},
                     "one fault per device"},
        BadArguments{"OffsetTheHostNeverSends", {"--fault", "1:vanish:100"}, "multiple of 256"},
        BadArguments{"VersionZero", {"--version", "3,0"}, "version digits 1 to 9"},
        BadArguments{"NonStandardSpeed", {"--update-baud", "12345"}, "not a standard rate"},
        BadArguments{"HelloFlood", {"--hello-interval", "10"}, "at least 50 ms"},
        BadArguments{"LinkOverARealFile", {"--link", "{dir}/existing"}, "not a symbolic link"},
        BadArguments{"MissingFirmware", {"--expect", "{dir}/missing.bin"}, "missing.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::simtest
