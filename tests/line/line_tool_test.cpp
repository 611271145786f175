// comflash-line, the command for the person in charge of the line, on a
// line with a few devices behind it.
#include <gtest/gtest.h>

#include <optional>

#include "child_process.h"
#include "line/device_row.h"
#include "line/line_schema.h"
#include "line/serial_series.h"
#include "line_fixture.h"

namespace comflash::testing {
namespace {

class LineToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        lineId = line::EnsureLineSchema(connection);
        Device("st-a", "COM1", "QA000100", SerialFate::Written, RunResult::Updated);
        Device("st-b", "COM2", "QA000101", SerialFate::Unconfirmed, RunResult::SerialRefused,
               DeviceSerial{DeviceSerialKind::None, "", ""});
        Device("st-b", "COM2", "QA000102", SerialFate::Refused, RunResult::SerialRefused);
        // A port name the CSV has to quote.
        Device("st-b", "COM1, \"checked\"", "", SerialFate::Written, RunResult::Updated,
               DeviceSerial{DeviceSerialKind::Number, "QA000077", ""});
    }

    void Device(const std::string& station, const std::string& port, const std::string& number,
                SerialFate fate, RunResult outcome,
                std::optional<DeviceSerial> device = std::nullopt) {
        DeviceRecord row;
        // A second apart, so that the export's order is the order made here.
        row.finishedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count() -
                         60000 + 1000 * made_++;
        row.port = port;
        row.result = outcome;
        row.imageLength = 4096;
        row.imageCrc = 0x0A5F;
        row.durationMs = 2500;
        row.device = device;
        if (!number.empty()) {
            const auto taken = line::ReserveNumber(connection, "QA", 100, station, port);
            line::SettleReservation(connection, taken.id, fate);
            row.serial = SettledNumber{number, fate};
        }
        line::SendEntry(connection, lineId, line::DeviceEntry(row, station, "0.1.0", line::NewEntryKey(), lineId));
    }

    std::string Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"--line", database.Conninfo()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        ChildProcess tool(TestPath("COMFLASH_LINE_TOOL_PATH"), all, outputFolder.Path(),
                          "comflash-line");
        EXPECT_EQ(tool.Wait(Patience(std::chrono::seconds(60))), 0) << tool.Stderr();
        return tool.Stdout();
    }

    ScratchDatabase database;
    StationFolder outputFolder{"output"};
    line::PgConnection connection{database.Conninfo()};
    std::string lineId;

private:
    int made_ = 0;
};

TEST_F(LineToolTest, StatusShowsSeriesDevicesAndNumbersToSetAside) {
    const std::string status = Run({"status"});
    EXPECT_NE(status.find("QA           next QA000103; given back: 1"), std::string::npos)
        << status;
    EXPECT_NE(status.find("st-b                 serial-refused       2"), std::string::npos)
        << status;
    EXPECT_NE(status.find("QA000101  unconfirmed, station st-b, port COM2"), std::string::npos)
        << status;
    EXPECT_EQ(status.find("QA000100  "), std::string::npos) << "written: nothing to set aside";
}

TEST_F(LineToolTest, ExportWritesEveryDeviceAsCsv) {
    const auto lines = Lines(Run({"export", "--since", "1h"}));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              "time,station,port,outcome,image_length,image_crc,serial_number,serial_fate,"
              "duration_ms,tool_version,device_serial_kind,device_serial,device_serial_unknown\r");
    EXPECT_NE(lines[1].find(",st-a,COM1,updated,4096,0x0A5F,QA000100,written,2500,0.1.0,,,\r"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find(
                  ",st-b,COM2,serial-refused,4096,0x0A5F,QA000101,unconfirmed,2500,0.1.0,none,,\r"),
              std::string::npos)
        << lines[2];
    EXPECT_NE(lines[4].find(",st-b,\"COM1, \"\"checked\"\"\",updated,4096,0x0A5F,,,2500,0.1.0,"
                            "number,QA000077,\r"),
              std::string::npos)
        << lines[4];
    EXPECT_EQ(Lines(Run({"export", "--since", "2000-01-01", "--until", "2001-01-01"})).size(), 1u);
}

}  // namespace
}  // namespace comflash::testing
