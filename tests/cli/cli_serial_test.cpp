// comflash-cli --write-sn against devices that lose, split, delay or refuse
// the acknowledgement of their serial number, vanish while it is written, or
// outlive a tool that is killed: whatever fails, no two devices ever hold one
// number, and the store is past every number a device may hold.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/serial_number.h"
#include "app/settings_store.h"
#include "cli_fixture.h"

namespace comflash::testing {
namespace {

constexpr const char* kFirst = "SN000100";

// What the devices hold, from the simulators' reports: every record, whatever
// the device's outcome.
std::vector<std::string> HeldNumbers(const std::vector<Json>& devices) {
    std::vector<std::string> held;
    for (const Json& device : devices) {
        if (!device["serial_record"].IsNull()) {
            const std::string record = device["serial_record"].String();
            held.push_back(record.substr(0, record.find('#')));
        }
    }
    return held;
}

void ExpectDistinctAndBehindTheStore(const std::vector<std::string>& held) {
    const std::set<std::string> distinct(held.begin(), held.end());
    EXPECT_EQ(distinct.size(), held.size()) << "two devices hold one number";
    const std::string stored = SettingsStore().ReadSetting("SN");
    for (const auto& number : held)
        EXPECT_TRUE(SerialNumberBehind(number, stored)) << number << " vs stored " << stored;
}

class CliSerialTest : public CliTest {
protected:
    CliSerialTest() { SettingsStore().WriteSetting("SN", kFirst); }

    std::vector<Json> Records() const {
        std::vector<Json> records;
        for (const auto& line : Lines(ReadWholeFile(record)))
            records.push_back(Json::Parse(line));
        return records;
    }

    const std::filesystem::path record = dir / "record.jsonl";
};

struct LostCase {
    const char* name;
    std::vector<std::string> simOptions;  // device 1 plays the fault, device 2 none
    bool viaLink;                         // the line vanishes and returns
    const char* firstFate;
    const char* firstHolds;   // the record device 1 keeps, or nullptr
    const char* secondHolds;  // device 2's number
    const char* storedAfter;
};

class SerialFault : public CliSerialTest, public ::testing::WithParamInterface<LostCase> {};

TEST_P(SerialFault, NeverGivesTheNextDeviceANumberThatMayBeTaken) {
    const LostCase& row = GetParam();
    // The next device comes once the tool's time-out (10 s at the most) is over.
    std::vector<std::string> simOptions = {"--devices", "2", "--host-timeout", "10500"};
    simOptions.insert(simOptions.end(), row.simOptions.begin(), row.simOptions.end());
    std::string port = (dir / "port").string();
    if (row.viaLink) {
        simOptions.insert(simOptions.end(), {"--link", port, "--return-delay", "500"});
        StartSim(simOptions);
    } else {
        port = StartSim(simOptions);
    }
    const CliResult cli =
        RunCli({"--port", port, "--devices", "2", "--write-sn", "--record", record.string()});

    EXPECT_EQ(cli.status, 1) << cli.err;
    const auto devices = ReportLines(2);
    ASSERT_EQ(devices.size(), 2u) << cli.err;
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u) << cli.out;
    EXPECT_EQ(records[0]["serial_sent"].String(), kFirst);
    EXPECT_EQ(records[0]["serial_fate"].String(), row.firstFate);
    EXPECT_EQ(records[1]["serial_fate"].String(), "written");
    EXPECT_EQ(records[1]["serial_number"].String(), row.secondHolds);

    if (row.firstHolds != nullptr) {
        EXPECT_EQ(devices[0]["serial_record"].String(), std::string(row.firstHolds) + "#");
    } else {
        EXPECT_TRUE(devices[0]["serial_record"].IsNull());
    }
    EXPECT_EQ(devices[1]["serial_record"].String(), std::string(row.secondHolds) + "#");
    ExpectDistinctAndBehindTheStore(HeldNumbers(devices));
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), row.storedAfter);
    if (std::string(row.firstFate) == "unconfirmed") {
        EXPECT_TRUE(cli.OutHas("unconfirmed: SN000100 (set these devices aside)")) << cli.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Acknowledgements, SerialFault,
    ::testing::Values(LostCase{"lost",
                               {"--fault", "1:stored-no-reply:serial"},
                               false,
                               "unconfirmed",
                               "SN000100",
                               "SN000101",
                               "SN000102"},
                      LostCase{"split",
                               {"--fault", "1:split-reply:serial"},
                               false,
                               "unconfirmed",
                               "SN000100",
                               "SN000101",
                               "SN000102"},
                      // After the tool's time-out, while it listens at 9600 again.
                      LostCase{"late",
                               {"--fault", "1:late-reply:serial"},
                               false,
                               "unconfirmed",
                               "SN000100",
                               "SN000101",
                               "SN000102"},
                      // One process alone: the refused number goes to the next device, no gap.
                      LostCase{"refused",
                               {"--fault", "1:serial-refused"},
                               false,
                               "refused",
                               nullptr,
                               "SN000100",
                               "SN000101"},
                      LostCase{"port_gone",
                               {"--fault", "1:vanish:serial"},
                               true,
                               "unconfirmed",
                               nullptr,
                               "SN000101",
                               "SN000102"}),
    [](const auto& info) { return std::string(info.param.name); });

// The tool stops while a device holds the number and has not answered yet.
struct StopCase {
    const char* name;
    int signal;
};

class StoppedMidWrite : public CliSerialTest, public ::testing::WithParamInterface<StopCase> {
protected:
    // Starts the tool on a slow device and waits until its record has left.
    std::unique_ptr<ChildProcess> StartAndAwaitTheRecord(const std::string& port) {
        auto cli = std::make_unique<ChildProcess>(
            CliPath(),
            std::vector<std::string>{"--port", port, "--write-sn", "--record", record.string()},
            dir.Path(), std::string("cli-") + GetParam().name);
        const auto deadline = std::chrono::steady_clock::now() + kCliPatience;
        while (sims.back()->Stderr().find("host>dev   38400  write     AB AB 00 0F 94 03 ED") ==
               std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || cli->Poll())
                return cli;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return cli;
    }
};

TEST_P(StoppedMidWrite, LeavesTheNumberUnconfirmedAndNeverWritesItAgain) {
    const std::string port = StartSim({"--devices", "2", "--device-delay", "3000", "--trace"});
    auto cli = StartAndAwaitTheRecord(port);
    ASSERT_FALSE(cli->Poll()) << cli->Stderr();
    ::kill(cli->Pid(), GetParam().signal);
    const int status = cli->Wait(kCliPatience);

    if (GetParam().signal == SIGKILL) {
        EXPECT_EQ(status, 128 + SIGKILL);
    } else {
        // An orderly stop: the record and the store are complete.
        EXPECT_EQ(status, 1) << cli->Stderr();
        const auto records = Records();
        ASSERT_EQ(records.size(), 1u) << cli->Stdout();
        EXPECT_EQ(records[0]["result"].String(), "interrupted");
        EXPECT_EQ(records[0]["serial_sent"].String(), kFirst);
        EXPECT_EQ(records[0]["serial_fate"].String(), "unconfirmed");
        EXPECT_NE(cli->Stdout().find("unconfirmed: SN000100"), std::string::npos) << cli->Stdout();
    }
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "SN000101");

    // A fresh tool serves the next device.
    const CliResult next = RunCli({"--port", port, "--devices", "1", "--write-sn"});
    EXPECT_EQ(next.status, 0) << next.err;
    const auto devices = ReportLines(2);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]["serial_record"].String(), "SN000100#");
    EXPECT_EQ(devices[1]["serial_record"].String(), "SN000101#");
    ExpectDistinctAndBehindTheStore(HeldNumbers(devices));
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedMidWrite,
                         ::testing::Values(StopCase{"killed", SIGKILL},
                                           StopCase{"interrupted", SIGINT},
                                           StopCase{"terminal_closed", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two terminals, one settings store, refusals on both lines.
TEST_F(CliSerialTest, TwoProcessesOnOneStoreNeverHandOutOneNumberTwice) {
    const std::string portA = StartSim(
        {"--devices", "4", "--fault", "2:serial-refused", "--fault", "3:serial-refused"}, "simA");
    const std::string portB = StartSim({"--devices", "4", "--fault", "1:serial-refused"}, "simB");
    ChildProcess a(CliPath(), {"--port", portA, "--devices", "4", "--write-sn"}, dir.Path(),
                   "cliA");
    ChildProcess b(CliPath(), {"--port", portB, "--devices", "4", "--write-sn"}, dir.Path(),
                   "cliB");
    EXPECT_EQ(a.Wait(kCliPatience), 1) << a.Stderr();
    EXPECT_EQ(b.Wait(kCliPatience), 1) << b.Stderr();

    auto held = HeldNumbers(ReportLines(4, "simA"));
    const auto heldB = HeldNumbers(ReportLines(4, "simB"));
    held.insert(held.end(), heldB.begin(), heldB.end());
    EXPECT_EQ(held.size(), 5u);
    ExpectDistinctAndBehindTheStore(held);
}

// Two ports write at once, each device saying hello once only: none waits
// on the other port's device, so none leaves without a number.
TEST_F(CliSerialTest, EveryPortServesDevicesThatSayHelloOnce) {
    const std::string a = StartSim({"--devices", "4", "--hello-once", "1500"}, "simA");
    const std::string b = StartSim({"--devices", "4", "--hello-once", "1500"}, "simB");
    const CliResult cli = RunCli({"--port", a, "--port", b, "--devices", "4", "--write-sn"});
    EXPECT_EQ(cli.status, 0) << cli.err;

    auto held = HeldNumbers(ReportLines(4, "simA"));
    const auto heldB = HeldNumbers(ReportLines(4, "simB"));
    held.insert(held.end(), heldB.begin(), heldB.end());
    EXPECT_EQ(held.size(), 8u) << "every device got its number: " << cli.err;
    ExpectDistinctAndBehindTheStore(held);
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "SN000108") << "no gap";
}

// Two processes on one store, one of which meets only devices that hold a
// number already: the number it took for them stays its own, and when it
// cannot go back at the end (the other process took later ones) it is
// recorded as skipped. Every number from the first to the store's next ends
// in one record or the other.
TEST_F(CliSerialTest, EveryNumberTakenEndsWithARecordedFate) {
    const std::string provisioned =
        StartSim({"--devices", "3", "--device-serial", "1:ZZ000001", "--device-serial",
                  "2:ZZ000002", "--device-serial", "3:ZZ000003"},
                 "simA");
    const std::string blank = StartSim({"--devices", "4"}, "simB");
    const auto recordA = dir / "a.jsonl";
    const auto recordB = dir / "b.jsonl";
    ChildProcess a(CliPath(),
                   {"--port", provisioned, "--write-sn", "--record", recordA.string()},
                   dir.Path(), "cliA");
    ChildProcess b(CliPath(),
                   {"--port", blank, "--devices", "4", "--write-sn", "--record", recordB.string()},
                   dir.Path(), "cliB");
    ReportLines(3, "simA");
    ::kill(a.Pid(), SIGINT);
    EXPECT_NE(a.Wait(kCliPatience), 2) << a.Stderr();
    EXPECT_EQ(b.Wait(kCliPatience), 0) << b.Stderr();

    std::multiset<std::string> recorded;
    for (const auto& file : {recordA, recordB}) {
        for (const auto& line : Lines(ReadWholeFile(file))) {
            const Json entry = Json::Parse(line);
            if (entry.Has("serial_sent"))
                recorded.insert(entry["serial_sent"].String());
        }
    }
    std::multiset<std::string> taken;
    for (std::string number = kFirst; number != SettingsStore().ReadSetting("SN");
         number = AdvanceSerialNumber(number))
        taken.insert(number);
    EXPECT_EQ(recorded, taken) << ReadWholeFile(recordA) << ReadWholeFile(recordB);
}

// The ways back into a series: a series switched away from and back to, a
// number reopened by --force over one whose device may hold it.
TEST_F(CliSerialTest, GoingBackInASeriesNeedsForceAndNeverReachesAnUnconfirmedNumber) {
    const std::string port =
        StartSim({"--devices", "3", "--host-timeout", "10500", "--fault", "2:stored-no-reply:serial"});
    ASSERT_EQ(RunCli({"--port", port, "--devices", "2", "--write-sn"}).status, 1);
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "SN000102");

    ASSERT_EQ(RunCli({"--set-sn", "QB000001"}).status, 0) << "a second product";
    const CliResult back = RunCli({"--set-sn", kFirst});
    EXPECT_EQ(back.status, 2);
    EXPECT_TRUE(back.ErrHas("give --force")) << back.err;

    const CliResult forced = RunCli({"--set-sn", kFirst, "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(forced.ErrHas("reopens 2 numbers (SN000100 to SN000101)")) << forced.err;
    EXPECT_TRUE(forced.ErrHas("SN000101 is still taken or unconfirmed")) << forced.err;

    // The third device gets the first number again (the operator's choice),
    // never the one the second device may hold.
    const CliResult third = RunCli({"--port", port, "--devices", "1", "--write-sn"});
    EXPECT_EQ(third.status, 0) << third.err;
    const auto held = HeldNumbers(ReportLines(3));
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[2], kFirst);
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), "SN000101") << "passed over only when reached";
}

struct SetCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* said;  // on standard output when stored, on standard error when refused
    const char* storedAfter;
};

class SetSerialNumber : public CliSerialTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetSerialNumber, StoresOnlyANumberThatCannotRepeatOne) {
    const SetCase& row = GetParam();
    const CliResult cli = RunCli(row.arguments);
    EXPECT_EQ(cli.status, row.status) << cli.err;
    EXPECT_TRUE(row.status == 0 ? cli.OutHas(row.said) : cli.ErrHas(row.said))
        << cli.out << cli.err;
    EXPECT_EQ(SettingsStore().ReadSetting("SN"), row.storedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SetSerialNumber,
    ::testing::Values(
        SetCase{"show", {"--show-sn"}, 0, "SN000100\n", "SN000100"},
        SetCase{"ahead", {"--set-sn", "SN000200"}, 0, "SN000200\n", "SN000200"},
        SetCase{"another_series", {"--set-sn", "QA000001"}, 0, "QA000001\n", "QA000001"},
        SetCase{"behind", {"--set-sn", "SN000099"}, 2, "give --force", "SN000100"},
        SetCase{"behind_forced", {"--set-sn", "SN000099", "--force"}, 0, "SN000099\n", "SN000099"},
        SetCase{"too_short", {"--set-sn", "12345"}, 2, "shorter than 6", "SN000100"},
        SetCase{"not_ascii",
                {"--set-sn",
                 "\xC3\x84"
                 "B000001"},
                2,
                "not printable ASCII",
                "SN000100"},
        SetCase{"too_long", {"--set-sn", "ABCDEFGHIJK000001"}, 2, "longer than 16", "SN000100"},
        // The record ends at '#' in the device: three devices would all hold "QA".
        SetCase{"record_end_mark",
                {"--set-sn", "QA#000100"},
                2,
                "holds the character '#'",
                "SN000100"},
        SetCase{"force_alone", {"--force"}, 2, "--force goes with --set-sn", "SN000100"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two "SN" lines in the settings file: which one counts is anybody's guess.
TEST_F(CliSerialTest, SettingsFileWithAValueTwiceIsRefusedNamingTheLine) {
    const auto file = dir / "config" / "Norvane" / "FW" / "settings";
    std::ofstream(file, std::ios::app) << "SN=SN000050\n";
    const CliResult shown = RunCli({"--show-sn"});
    EXPECT_EQ(shown.status, 2);
    EXPECT_TRUE(shown.ErrHas("SN is set a second time")) << shown.err;
}

TEST_F(CliSerialTest, ShowsTheNextNumberAfterARun) {
    const std::string port = StartSim({"--devices", "2"});
    ASSERT_EQ(RunCli({"--port", port, "--devices", "2", "--write-sn"}).status, 0);
    const CliResult shown = RunCli({"--show-sn"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, "SN000102\n");
}

}  // namespace
}  // namespace comflash::testing
