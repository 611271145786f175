#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

#include "app/settings_store.h"
#include "cli_fixture.h"

namespace comflash::testing {
namespace {

// With replies taken after 30 ms of silence, as described, and with quick
// turnaround, where each reply is taken at its last byte.
class CliUpdates : public CliTest, public ::testing::WithParamInterface<bool> {};

std::vector<std::string> WithTurnaround(std::vector<std::string> arguments, bool quick) {
    if (quick)
        arguments.push_back("--quick-turnaround");
    return arguments;
}

TEST_P(CliUpdates, DevicesOfEveryVersionAndRecordsThem) {
    const std::string port = StartSim({"--devices", "3", "--version", "3,1,2"});
    const auto record = dir / "record.jsonl";
    const CliResult cli = RunCli(WithTurnaround(
        {"--port", port, "--devices", "3", "--record", record.string()}, GetParam()));

    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.CountInOut(" Start...\n"), 3) << cli.out;
    EXPECT_EQ(cli.CountInOut(" ...End\n"), 3) << cli.out;
    EXPECT_TRUE(cli.OutHas("Ok:3 Err:0")) << cli.out;

    const auto devices = ReportLines(3);
    ASSERT_EQ(devices.size(), 3u);
    const auto records = Lines(ReadWholeFile(record));
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_TRUE(devices[i]["image_equal"].Bool()) << "device " << i + 1;
        EXPECT_TRUE(devices[i]["as_expected"].Bool()) << "device " << i + 1;
        const Json line = Json::Parse(records[i]);
        EXPECT_EQ(line["result"].String(), devices[i]["outcome"].String());
        EXPECT_EQ(line["port"].String(), port);
    }
    EXPECT_EQ(devices[1]["version"].Int(), 1);
    EXPECT_EQ(devices[2]["version"].Int(), 2);
}

TEST_F(CliTest, FourPortsAtOnce) {
    std::vector<std::string> arguments;
    for (int n = 0; n < 4; ++n) {
        arguments.push_back("--port");
        arguments.push_back(StartSim({"--devices", "2"}, "sim" + std::to_string(n)));
    }
    arguments.insert(arguments.end(), {"--devices", "2"});
    const CliResult cli = RunCli(arguments);

    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.CountInOut("Ok:2 Err:0"), 4) << cli.out;
    for (int n = 0; n < 4; ++n) {
        const auto devices = ReportLines(2, "sim" + std::to_string(n));
        ASSERT_EQ(devices.size(), 2u);
        for (const auto& device : devices)
            EXPECT_TRUE(device["image_equal"].Bool());
        // Lines are told apart by their port: Start, device and End per device.
        EXPECT_EQ(cli.CountInOut(devices[0]["port"].String() + ": "), 6) << cli.out;
    }
}

TEST_P(CliUpdates, WritesConsecutiveSerialNumbersAndStoresTheNext) {
    SettingsStore().WriteSetting("SN", "AB12000345");
    const std::string port = StartSim({"--devices", "2"});
    const CliResult cli =
        RunCli(WithTurnaround({"--port", port, "--devices", "2", "--write-sn"}, GetParam()));

    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.err.find("Write SN Completed!") != std::string::npos, true) << cli.err;
    const auto devices = ReportLines(2);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_NE(devices[0]["serial_record"].String().find("AB12000345#"), std::string::npos);
    EXPECT_NE(devices[1]["serial_record"].String().find("AB12000346#"), std::string::npos);
    EXPECT_EQ(devices[0]["blocks"].Int(), 0);  // provisioning writes no image
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "AB12000347");
}

INSTANTIATE_TEST_SUITE_P(Turnaround, CliUpdates, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Quick" : "Described");
});

TEST_F(CliTest, SettingsThatCannotMarkTheNumberTakenStopTheRunBeforeAnythingIsWritten) {
    SettingsStore().WriteSetting("SN", "AB12000345");
    // A folder where the lock file belongs: the number can be read, not stored.
    const auto lock = dir / "config" / "Norvane" / "FW" / "settings.lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    const std::string port = StartSim({"--devices", "1"});
    const CliResult cli = RunCli({"--port", port, "--devices", "1", "--write-sn"});

    EXPECT_EQ(cli.status, 1) << cli.err;
    EXPECT_TRUE(cli.ErrHas("Failed to set data for 'SN'")) << cli.err;
    EXPECT_FALSE(cli.ErrHas("Write SN")) << cli.err;
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "AB12000345");
    // The device was not even answered: nobody talked to it.
    sims.back()->Terminate();
    sims.back()->Wait();
    EXPECT_TRUE(ReportLines(0).empty());
}

TEST_F(CliTest, PortThatVanishesEndsItsRunAndIsOpenedAgainWhenItReturns) {
    const auto link = dir / "port";
    StartSim({"--devices", "2", "--fault", "1:vanish:512", "--link", link.string(),
              "--return-delay", "500"});
    const auto record = dir / "record.jsonl";
    const CliResult cli =
        RunCli({"--port", link.string(), "--devices", "2", "--record", record.string()});

    EXPECT_EQ(cli.status, 1) << cli.err;
    EXPECT_TRUE(cli.ErrHas("the port stopped working")) << cli.err;
    EXPECT_TRUE(cli.ErrHas("the port is back")) << cli.err;
    EXPECT_TRUE(cli.OutHas("Ok:1 Err:0")) << cli.out;
    const auto records = Lines(ReadWholeFile(record));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Json::Parse(records[0])["result"].String(), "port-lost");
    EXPECT_EQ(Json::Parse(records[1])["result"].String(), "updated");
    const auto devices = ReportLines(2);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(devices[1]["image_equal"].Bool());
}

// Port B's device is slow: port A has long served its one device when B's
// ends the run, and A's next device must not be cut off halfway.
TEST_F(CliTest, PortThatServedItsDevicesLeavesTheNextOneAlone) {
    const std::string portA = StartSim({"--devices", "2"}, "simA");
    const std::string portB = StartSim({"--devices", "1", "--device-delay", "60"}, "simB");
    const auto record = dir / "record.jsonl";
    const CliResult cli =
        RunCli({"--port", portA, "--port", portB, "--devices", "1", "--record", record.string()});

    EXPECT_EQ(cli.status, 0) << cli.err;
    int startsOnA = 0;
    for (const auto& line : Lines(cli.out)) {
        if (line.rfind(portA + ": ", 0) == 0 && line.ends_with(" Start..."))
            ++startsOnA;
    }
    EXPECT_EQ(startsOnA, 1) << cli.out;
    const auto records = Lines(ReadWholeFile(record));
    ASSERT_EQ(records.size(), 2u);
    for (const auto& line : records)
        EXPECT_EQ(Json::Parse(line)["result"].String(), "updated");
}

TEST_F(CliTest, StoppedInTheMiddleOfADeviceRecordsItInterruptedAndFails) {
    const std::string port = StartSim({"--devices", "1", "--device-delay", "100"});
    const auto record = dir / "record.jsonl";
    ChildProcess cli(CliPath(), {"--port", port, "--record", record.string()}, dir.Path(),
                     "cli-stopped");
    const auto deadline = std::chrono::steady_clock::now() + kCliPatience;
    while (cli.Stdout().find(" Start...") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    cli.Terminate();

    EXPECT_EQ(cli.Wait(kCliPatience), 1) << cli.Stderr();
    const auto records = Lines(ReadWholeFile(record));
    ASSERT_EQ(records.size(), 1u) << cli.Stdout();
    EXPECT_EQ(Json::Parse(records[0])["result"].String(), "interrupted");
}

TEST_F(CliTest, JsonEventsOneObjectPerLine) {
    const std::string port = StartSim({"--devices", "1"});
    const CliResult cli = RunCli({"--port", port, "--devices", "1", "--json"});
    EXPECT_EQ(cli.status, 0) << cli.err;
    std::set<std::string> kinds;
    for (const auto& line : Lines(cli.out)) {
        const Json event = Json::Parse(line);
        kinds.insert(event["kind"].String());
        EXPECT_EQ(event["port"].String(), port);
    }
    for (const char* kind : {"log", "progress", "counters", "finished", "summary"}) {
        EXPECT_TRUE(kinds.count(kind)) << kind;
    }
}

struct SetupErrorCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
    const char* storedSerialNumber = nullptr;
};

class CliSetupErrors : public CliTest, public ::testing::WithParamInterface<SetupErrorCase> {};

TEST_P(CliSetupErrors, ExitWithStatusTwoAndSayWhy) {
    std::ofstream(dir / "damaged.txt") << "0123456789ABCDEF not an image\n";
    if (GetParam().storedSerialNumber != nullptr)
        SettingsStore().WriteSetting("SN", GetParam().storedSerialNumber);
    std::vector<std::string> arguments;
    for (const auto& argument : GetParam().arguments) {
        const bool inDir = argument.rfind("DIR/", 0) == 0;
        arguments.push_back(inDir ? (dir / argument.substr(4)).string() : argument);
    }
    const CliResult cli = RunCli(arguments);
    EXPECT_EQ(cli.status, 2);
    EXPECT_TRUE(cli.ErrHas(GetParam().message)) << cli.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliSetupErrors,
    ::testing::Values(
        SetupErrorCase{"no_port", {}, "name at least one port"},
        SetupErrorCase{"unknown_option", {"--port", "COM1", "--fast"}, "unknown option '--fast'"},
        SetupErrorCase{"zero_devices", {"--port", "COM1", "--devices", "0"}, "--devices needs"},
        SetupErrorCase{
            "port_missing", {"--port", "/dev/comflash-no-such-port"}, "Error opening serial port"},
        SetupErrorCase{
            "not_a_terminal", {"--port", "/dev/null"}, "File handle is not a comm handle"},
        SetupErrorCase{"damaged_image_text",
                       {"--port", "COM1", "--image-text", "DIR/damaged.txt"},
                       "does not decode"},
        SetupErrorCase{
            "missing_image_text", {"--port", "COM1", "--image-text", "DIR/none.txt"}, "none.txt"},
        SetupErrorCase{
            "no_serial_number_stored", {"--port", "COM1", "--write-sn"}, "Write SN Disable!"},
        SetupErrorCase{"serial_number_too_long",
                       {"--port", "COM1", "--write-sn"},
                       "longer than 16 characters",
                       "ABCDEFGHIJK123456"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
