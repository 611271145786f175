// Every device by its own serial number, read from its identity reply:
// comflash-cli writes a number only into a device that holds none, leaves a
// device holding another number alone, lets a device that comes back after a
// lost acknowledgement confirm its number, records each device's number in
// updates too, and with --verify-sn reads a written record back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings_store.h"
#include "cli_fixture.h"

namespace comflash::testing {
namespace {

constexpr const char* kFirstNumber = "SN000100";

class DeviceSerialTest : public CliTest {
protected:
    DeviceSerialTest() { SettingsStore().WriteSetting("SN", kFirstNumber); }

    std::vector<Json> Records() const {
        std::vector<Json> records;
        for (const auto& line : Lines(ReadWholeFile(record)))
            records.push_back(Json::Parse(line));
        return records;
    }
    static std::string Held(const Json& device) {
        return device["serial_record"].IsNull() ? std::string("-")
                                                : device["serial_record"].String();
    }

    const std::filesystem::path record = dir / "record.jsonl";
};

struct DeviceCase {
    const char* name;
    std::vector<std::string> simOptions;  // two devices
    std::vector<std::string> cliOptions;
    int status;
    std::vector<std::string> results;       // the record's result per line
    std::vector<std::string> deviceSerial;  // the record's device_serial per line ("-": null)
    std::vector<std::string> held;          // the record each device holds at the end
    const char* storedAfter;
};

class Provisioning : public DeviceSerialTest, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(Provisioning, WritesOnlyADeviceThatHoldsNoNumber) {
    const DeviceCase& row = GetParam();
    std::vector<std::string> simOptions = {"--devices", "2", "--host-timeout", "10500"};
    simOptions.insert(simOptions.end(), row.simOptions.begin(), row.simOptions.end());
    const std::string port = StartSim(simOptions);
    std::vector<std::string> arguments = {"--port", port, "--write-sn", "--record",
                                          record.string()};
    arguments.insert(arguments.end(), row.cliOptions.begin(), row.cliOptions.end());
    const CliResult cli = RunCli(arguments);

    EXPECT_EQ(cli.status, row.status) << cli.out << cli.err;
    const auto records = Records();
    ASSERT_EQ(records.size(), row.results.size()) << cli.out << cli.err;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["result"].String(), row.results[i]) << "record " << i;
        const Json serial = records[i]["device_serial"];
        EXPECT_EQ(serial.IsNull() ? std::string("-") : serial.String(), row.deviceSerial[i])
            << "record " << i;
    }
    const auto devices = ReportLines(2);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(Held(devices[0]), row.held[0]);
    EXPECT_EQ(Held(devices[1]), row.held[1]);
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), row.storedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, Provisioning,
    ::testing::Values(DeviceCase{"erased_devices_get_the_next_numbers",
                                 {},
                                 {"--devices", "2"},
                                 0,
                                 {"serial-written", "serial-written"},
                                 {"-", "-"},
                                 {"SN000100#", "SN000101#"},
                                 "SN000102"},
                      // Left alone, counted neither way: the run waits for a device to write.
                      DeviceCase{"foreign_number_is_left_alone",
                                 {"--device-serial", "1:XY000001"},
                                 {"--devices", "1"},
                                 0,
                                 {"already-provisioned", "serial-written"},
                                 {"XY000001", "-"},
                                 {"XY000001#", "SN000100#"},
                                 "SN000101"},
                      DeviceCase{"foreign_number_is_overwritten_when_asked",
                                 {"--device-serial", "1:XY000001"},
                                 {"--devices", "2", "--overwrite-sn"},
                                 0,
                                 {"serial-written", "serial-written"},
                                 {"XY000001", "-"},
                                 {"SN000100#", "SN000101#"},
                                 "SN000102"},
                      // The acknowledgement is lost; the next hello is the same device, which
                      // says it holds the number: written, and no second number is taken.
                      DeviceCase{"returning_device_confirms_its_number",
                                 {"--fault", "1:returns-after:serial"},
                                 {"--devices", "2"},
                                 1,
                                 {"timed-out", "serial-confirmed"},
                                 {"-", "SN000100"},
                                 {"SN000100#", "SN000100#"},
                                 "SN000101"},
                      DeviceCase{"read_back_catches_another_record",
                                 {"--fault", "1:wrong-record:serial"},
                                 {"--devices", "2", "--verify-sn"},
                                 1,
                                 {"serial-read-back-failed", "serial-written"},
                                 {"-", "-"},
                                 {"SN000109#",
                                  "SN000101#"},  // the first stored 100 with its last digit changed
                                 "SN000102"}),
    [](const auto& info) { return std::string(info.param.name); });

// The list of numbers whose fate is unknown outlives the run.
TEST_F(DeviceSerialTest, ReturningDeviceConfirmsItsNumberAfterARestart) {
    const std::string port = StartSim(
        {"--devices", "2", "--host-timeout", "10500", "--fault", "1:returns-after:serial"});
    const CliResult first =
        RunCli({"--port", port, "--devices", "1", "--write-sn", "--record", record.string()});
    EXPECT_EQ(first.status, 1) << first.err;
    EXPECT_TRUE(first.OutHas("unconfirmed: SN000100")) << first.out;

    const CliResult second =
        RunCli({"--port", port, "--devices", "1", "--write-sn", "--record", record.string()});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(second.ErrHas("SN000100 confirmed")) << second.err;
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1]["serial_sent"].String(), "SN000100");
    EXPECT_EQ(records[1]["serial_fate"].String(), "written");
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "SN000101") << "no second number was taken";
    EXPECT_EQ(SettingsStore().ReadSetting("Unconfirmed"), "");
}

TEST_F(DeviceSerialTest, UpdatesRecordEachDevicesNumber) {
    const std::string port = StartSim({"--devices", "2", "--device-serial", "1:QA000123"});
    const CliResult cli = RunCli({"--port", port, "--devices", "2", "--record", record.string()});
    EXPECT_EQ(cli.status, 0) << cli.err;
    const auto lines = cli.OutLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "<time> Start...");
    EXPECT_EQ(lines[1], "device QA000123");
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["device_serial"].String(), "QA000123");
    EXPECT_TRUE(records[1]["device_serial"].IsNull());
}

}  // namespace
}  // namespace comflash::testing
