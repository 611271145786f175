// The soak's checks fail when they should: each row plants one fault in the
// lines that a run of comflash-cli and comflash-sim leaves behind, and the
// verdict must name that fault and nothing else. The lines are cut-down
// copies of a real --record and --report: the keys the checker reads.
#include "soak_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace comflash::soak {
namespace {

constexpr const char* kPort = "/dev/pts/7";
constexpr Millis kDeadline{26100};  // the sample image's, with the soak's pauses

// An update run of two devices: one updated, one whose block 1280 was refused.
const std::string kUpdatedReport =
    R"({"device":1,"port":"/dev/pts/7","fault":"none","finish":true,"image_equal":true,)"
    R"("serial_record":null,"duration_ms":2890,"outcome":"updated","as_expected":true})";
const std::string kBlockRefusedReport =
    R"({"device":2,"port":"/dev/pts/7","fault":"block-refused:1280","finish":false,)"
    R"("image_equal":false,"serial_record":null,"duration_ms":18230,"outcome":"block-refused",)"
    R"("as_expected":true})";
const std::string kSecondUpdatedReport =
    R"({"device":2,"port":"/dev/pts/7","fault":"none","finish":true,"image_equal":true,)"
    R"("serial_record":null,"duration_ms":2870,"outcome":"updated","as_expected":true})";
const std::string kUpdatedButDifferentReport =
    R"({"device":2,"port":"/dev/pts/7","fault":"none","finish":true,"image_equal":false,)"
    R"("serial_record":null,"duration_ms":2870,"outcome":"updated","as_expected":false})";

const std::string kUpdatedRecord =
    R"({"time":"2026-01-12T09:14:03.512Z","port":"/dev/pts/7","result":"updated",)"
    R"("image_crc":"0x5D21","duration_ms":1690})";
const std::string kBlockRefusedRecord =
    R"({"time":"2026-01-12T09:14:15.918Z","port":"/dev/pts/7","result":"block-refused",)"
    R"("image_crc":"0x5D21","duration_ms":10231})";
const std::string kSlowBlockRefusedRecord =
    R"({"time":"2026-01-12T09:14:31.788Z","port":"/dev/pts/7","result":"block-refused",)"
    R"("image_crc":"0x5D21","duration_ms":26101})";

// Provisioning runs of two devices from SOAK000100.
const std::string kWrittenReport =
    R"({"device":1,"port":"/dev/pts/7","fault":"none","finish":false,"image_equal":false,)"
    R"("serial_record":"SOAK000100#","duration_ms":1520,"outcome":"serial-written",)"
    R"("as_expected":true})";
const std::string kNoReplyReport =
    R"({"device":2,"port":"/dev/pts/7","fault":"no-reply:serial","finish":false,)"
    R"("image_equal":false,"serial_record":null,"duration_ms":11380,"outcome":"no-reply",)"
    R"("as_expected":true})";
const std::string kFirstNoReplyReport =
    R"({"device":1,"port":"/dev/pts/7","fault":"no-reply:serial","finish":false,)"
    R"("image_equal":false,"serial_record":null,"duration_ms":11380,"outcome":"no-reply",)"
    R"("as_expected":true})";
// The device stored the number; its acknowledgement left in two bursts, so
// the tool never heard it.
const std::string kSplitAckReport =
    R"({"device":1,"port":"/dev/pts/7","fault":"split-reply:serial","finish":false,)"
    R"("image_equal":false,"serial_record":"SOAK000100#","duration_ms":11420,)"
    R"("outcome":"split-reply","as_expected":true})";
const std::string kSecondWritten100Report =
    R"({"device":2,"port":"/dev/pts/7","fault":"none","finish":false,"image_equal":false,)"
    R"("serial_record":"SOAK000100#","duration_ms":1510,"outcome":"serial-written",)"
    R"("as_expected":true})";
const std::string kSecondWritten101Report =
    R"({"device":2,"port":"/dev/pts/7","fault":"none","finish":false,"image_equal":false,)"
    R"("serial_record":"SOAK000101#","duration_ms":1510,"outcome":"serial-written",)"
    R"("as_expected":true})";

const std::string kWritten100Record =
    R"({"time":"2026-01-12T10:02:11.020Z","port":"/dev/pts/7","result":"serial-written",)"
    R"("image_crc":"0x5D21","duration_ms":262,"serial_number":"SOAK000100"})";
const std::string kSecondWritten100Record =
    R"({"time":"2026-01-12T10:02:25.640Z","port":"/dev/pts/7","result":"serial-written",)"
    R"("image_crc":"0x5D21","duration_ms":259,"serial_number":"SOAK000100"})";
const std::string kWritten101Record =
    R"({"time":"2026-01-12T10:02:25.640Z","port":"/dev/pts/7","result":"serial-written",)"
    R"("image_crc":"0x5D21","duration_ms":259,"serial_number":"SOAK000101"})";
const std::string kTimedOutRecord =
    R"({"time":"2026-01-12T10:02:21.330Z","port":"/dev/pts/7","result":"timed-out",)"
    R"("image_crc":"0x5D21","duration_ms":9742})";
// As the record says a number sent and never confirmed.
const std::string kUnconfirmedRecord =
    R"({"time":"2026-01-12T10:02:21.330Z","port":"/dev/pts/7","result":"timed-out",)"
    R"("image_crc":"0x5D21","duration_ms":9742,"serial_sent":"SOAK000100",)"
    R"("serial_fate":"unconfirmed"})";

struct Row {
    const char* name;
    bool writeSerialNumbers;
    std::optional<int> exitStatus;  // none: still running when the watch gave up
    std::vector<std::string> records;
    std::vector<std::string> reports;
    std::string stored;  // "SN" after a provisioning run
    // A part of each failure expected, in order; none: the run passes.
    std::vector<std::string> expectedFailures;
    Millis ranFor{30000};  // the run deadline of two devices is 52.2 s
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

SoakPlan PlanOf(const Row& row) {
    SoakPlan plan;
    plan.ports = 1;
    plan.devicesPerPort = 2;
    plan.writeSerialNumbers = row.writeSerialNumbers;
    plan.firstSerialNumber = "SOAK000100";
    plan.deviceDeadline = kDeadline;
    return plan;
}

SoakRun RunOf(const Row& row) {
    SoakRun run;
    run.exitStatus = row.exitStatus;
    run.cliRanFor = row.ranFor;
    run.recordLines = row.records;
    run.simulators = {{kPort, row.reports}};
    run.storedSerialNumber = row.stored;
    run.earlyKilobytes = 4276;
    run.lateKilobytes = 4312;
    return run;
}

class SoakCheckTest : public ::testing::TestWithParam<Row> {};

TEST_P(SoakCheckTest, NamesThePlantedFaultsAndNothingElse) {
    const Row& row = GetParam();
    const SoakVerdict verdict = JudgeSoak(PlanOf(row), RunOf(row));
    std::string failures;
    for (const std::string& failure : verdict.failures)
        failures += "\n  " + failure;
    EXPECT_EQ(verdict.Passed(), row.expectedFailures.empty()) << failures;
    ASSERT_EQ(verdict.failures.size(), row.expectedFailures.size()) << failures;
    for (std::size_t n = 0; n < row.expectedFailures.size(); ++n) {
        EXPECT_NE(verdict.failures[n].find(row.expectedFailures[n]), std::string::npos) << failures;
    }
}

const Row kRows[] = {
    {"UpdateRunMatchingItsDevicesPasses",
     false,
     1,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {}},
    {"ProvisioningRunMatchingItsDevicesPasses",
     true,
     1,
     {kWritten100Record, kTimedOutRecord},
     {kWrittenReport, kNoReplyReport},
     "SOAK000101",
     {}},

    // Hangs.
    {"DeviceRunPastTheDeadlineIsAHang",
     false,
     1,
     {kUpdatedRecord, kSlowBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"26101 ms (block-refused), past its deadline"}},
    {"CliThatNeverEndedIsAHang",
     false,
     std::nullopt,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"still ran after 52.4 s"},
     Millis(52400)},
    {"CliThatEndedPastTheRunDeadlineIsAHang",
     false,
     1,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"ended only after 52.4 s"},
     Millis(52400)},

    // Exit status against the devices.
    {"ExitStatus2IsAlwaysWrong",
     false,
     2,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"ended with status 2"}},
    {"ExitStatus0WithAFailedDevice",
     false,
     0,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"status 0 (every device served) although"}},
    {"ExitStatus1WithNoFailedDevice",
     false,
     1,
     {kUpdatedRecord, kUpdatedRecord},
     {kUpdatedReport, kSecondUpdatedReport},
     "",
     {"status 1 (a device failed) although"}},
    {"ExitStatusOfASignal",
     false,
     137,
     {kUpdatedRecord, kBlockRefusedRecord},
     {kUpdatedReport, kBlockRefusedReport},
     "",
     {"ended with status 137"}},

    // Counting.
    {"DeviceCountedGoodWithoutTheImage",
     false,
     0,
     {kUpdatedRecord, kUpdatedRecord},
     {kUpdatedReport, kUpdatedButDifferentReport},
     "",
     {"ended updated, not as its fault predicts", "counted updated but does not hold the image"}},
    {"DeviceNotCounted",
     false,
     0,
     {kUpdatedRecord},
     {kUpdatedReport, kSecondUpdatedReport},
     "",
     {"2 devices planned, 2 played, 1 counted"}},

    // Serial numbers.
    {"NumberHeldByASilentDeviceAndWrittenAgain",
     true,
     1,
     {kTimedOutRecord, kSecondWritten100Record},
     {kSplitAckReport, kSecondWritten100Report},
     "SOAK000101",
     {"serial number SOAK000100 is held by 2 devices"}},
    {"StoreNotPastAHeldNumber",
     true,
     1,
     {kWritten100Record, kTimedOutRecord},
     {kWrittenReport, kNoReplyReport},
     "SOAK000100",
     {"not past every number a device holds"}},
    {"NumberInNoDeviceIsLost",
     true,
     1,
     {kTimedOutRecord, kWritten101Record},
     {kFirstNoReplyReport, kSecondWritten101Report},
     "SOAK000102",
     {"no device holds, and the record does not call their fate unknown: SOAK000100"}},
    {"NumberOfUnknownFateMayBeMissing",
     true,
     1,
     {kUnconfirmedRecord, kWritten101Record},
     {kFirstNoReplyReport, kSecondWritten101Report},
     "SOAK000102",
     {}},
};

INSTANTIATE_TEST_SUITE_P(PlantedFaults, SoakCheckTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Ports run side by side, but in provisioning one port serves a device at a
// time: then the whole run is every device's deadline after the other.
TEST(SoakRunDeadlineTest, CoversEveryDeviceOneAfterAnotherOnlyInProvisioning) {
    SoakPlan plan;
    plan.ports = 4;
    plan.devicesPerPort = 3;
    plan.deviceDeadline = kDeadline;
    EXPECT_EQ(RunDeadline(plan), kDeadline * 3);
    plan.writeSerialNumbers = true;
    EXPECT_EQ(RunDeadline(plan), kDeadline * 12);
}

}  // namespace
}  // namespace comflash::soak
