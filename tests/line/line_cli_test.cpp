// comflash-cli stations on a line, against comflash-sim devices that lose,
// delay, split or refuse the acknowledgement of their serial number, and a
// real PostgreSQL server that goes away in the middle: no number in two
// devices, every device one row, refused numbers out again, unconfirmed ones
// never, and nothing lost or sent twice.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_store.h"
#include "child_process.h"
#include "line_fixture.h"
#include "sim_process.h"
#include "tcp_proxy.h"

namespace comflash::testing {
namespace {

using simtest::Json;
using simtest::SimProcess;

const std::chrono::milliseconds kRunPatience = Patience(std::chrono::seconds(400));
constexpr const char* kFirst = "QA000100";

// Runs scripts/line-test-server.
void Server(const std::string& action, const std::filesystem::path& state) {
    const std::string command =
        TestPath("COMFLASH_LINE_SERVER_SCRIPT") + " " + action + " '" + state.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The faults of one simulator's devices, drawn from `seed`: about one device
// in six loses, delays, splits or refuses its acknowledgement.
std::vector<std::string> SerialFaults(unsigned seed, int devices) {
    static const char* const kKinds[] = {"stored-no-reply:serial", "late-reply:serial",
                                         "serial-refused", "split-reply:serial"};
    std::mt19937 random(seed);
    std::vector<std::string> arguments;
    for (int device = 1; device <= devices; ++device) {
        if (random() % 6 == 0) {
            arguments.push_back("--fault");
            arguments.push_back(std::to_string(device) + ":" + kKinds[random() % 4]);
        }
    }
    return arguments;
}

// A station: its settings folder, its record file and its comflash-cli.
struct Station {
    std::string name;
    std::unique_ptr<StationFolder> folder;
    std::filesystem::path record;
    std::unique_ptr<ChildProcess> cli;
};

// One finished device as a station's --record file has it.
struct Recorded {
    std::string time;  // ISO 8601 to the millisecond: sorts as it reads
    std::string station;
    std::string port;
    std::string number;
    std::string fate;
};

class LineCliTest : public ::testing::Test {
protected:
    ~LineCliTest() override { ::unsetenv("COMFLASH_LINE"); }

    // A simulator of `devices` devices; its port path.
    std::string StartSim(const std::string& name, int devices, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--devices", std::to_string(devices), "--expect",
                                              TestPath("COMFLASH_EXPECTED_IMAGE_PATH"), "--report",
                                              Report(name).string(), "--quiet-end",
                                              simtest::QuietEnd(), "--power-up-delay", "200",
                                              // The next device comes after the tool's time-out.
                                              "--host-timeout", "10500"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        sims_.push_back(std::make_unique<SimProcess>(arguments, dir_ / (name + ".err")));
        const std::string path = sims_.back()->NextPath();
        EXPECT_FALSE(path.empty()) << sims_.back()->Stderr();
        return path;
    }
    std::filesystem::path Report(const std::string& name) const {
        return dir_ / (name + ".report");
    }

    Station NewStation(const std::string& name) {
        Station station;
        station.name = name;
        station.folder = std::make_unique<StationFolder>(name);
        station.record = dir_ / (name + ".jsonl");
        station.folder->Use();
        SettingsStore().WriteSetting("SN", kFirst);
        return station;
    }

    // comflash-cli with `arguments` in the station's settings folder.
    std::unique_ptr<ChildProcess> StartCli(const Station& station,
                                           const std::vector<std::string>& arguments,
                                           const std::string& run) {
        station.folder->Use();
        return std::make_unique<ChildProcess>(TestPath("COMFLASH_CLI_PATH"), arguments, dir_.Path(),
                                              station.name + "-" + run);
    }
    int RunCli(const Station& station, const std::vector<std::string>& arguments,
               const std::string& run, std::string* err = nullptr) {
        auto cli = StartCli(station, arguments, run);
        const int status = cli->Wait(kRunPatience);
        if (err != nullptr)
            *err = cli->Stderr();
        return status;
    }

    static std::vector<Recorded> Records(const Station& station) {
        std::vector<Recorded> records;
        for (const auto& line : Lines(ReadWholeFile(station.record))) {
            const Json record = Json::Parse(line);
            Recorded one{record["time"].String(), station.name, record["port"].String(), {}, {}};
            if (record.Has("serial_sent")) {
                one.number = record["serial_sent"].String();
                one.fate = record["serial_fate"].String();
            }
            records.push_back(one);
        }
        return records;
    }

    // What the devices hold, from the simulators' reports.
    std::vector<std::string> HeldNumbers(const std::string& sim, std::size_t devices) const {
        std::vector<std::string> held;
        for (const Json& device : simtest::AwaitReport(Report(sim), devices)) {
            if (!device["serial_record"].IsNull()) {
                const std::string record = device["serial_record"].String();
                held.push_back(record.substr(0, record.find('#')));
            }
        }
        return held;
    }

    // Each number's state in the line database.
    static std::map<std::string, std::string> NumberStates(const std::string& conninfo) {
        line::PgConnection connection(conninfo);
        line::PgResult rows = connection.Exec(
            "SELECT prefix || lpad(value::text, 6, '0'), state FROM comflash_serial_numbers");
        std::map<std::string, std::string> states;
        for (int i = 0; i < rows.Rows(); ++i)
            states[rows.Text(i, 0)] = rows.Text(i, 1);
        return states;
    }

    static long long RowDevicesCount(const std::string& conninfo) {
        return QueryNumber(conninfo, "SELECT count(*) FROM comflash_devices");
    }

    // The device rows, as "station port number fate".
    static std::multiset<std::string> DeviceRows(const std::string& conninfo) {
        line::PgConnection connection(conninfo);
        line::PgResult rows = connection.Exec(
            "SELECT station || ' ' || port || ' ' || coalesce(serial_number, '-') || ' ' || "
            "coalesce(serial_fate, '-') FROM comflash_devices");
        std::multiset<std::string> devices;
        for (int i = 0; i < rows.Rows(); ++i)
            devices.insert(rows.Text(i, 0));
        return devices;
    }

    simtest::TempDir dir_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

int CountOf(const std::string& text, const std::string& word) {
    int count = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

// Three stations with two ports each on one line whose server stops for a
// while in the middle: on a server of its own, since the others' tests need
// theirs.
class LineOfStations : public LineCliTest {
protected:
    static void SetUpTestSuite() {
        state_ = new StationFolder("cli-line-server");
        Server("start", state_->Path());
    }
    static void TearDownTestSuite() {
        Server("stop", state_->Path());
        delete state_;
    }
    void TearDown() override { Server("resume", state_->Path()); }

    static inline StationFolder* state_ = nullptr;
    ScratchDatabase database_{ServerConninfo(state_->Path())};
};

TEST_F(LineOfStations, ShareOneSeriesThroughAnOutageWithoutAnyNumberTwice) {
    constexpr int kStations = 3;
    constexpr int kPorts = 2;
    constexpr int kDevices = 20;
    std::vector<Station> stations;
    for (int s = 0; s < kStations; ++s) {
        Station station = NewStation("st" + std::to_string(s));
        std::vector<std::string> arguments = {"--line",
                                              database_.Conninfo(),
                                              "--station",
                                              station.name,
                                              "--write-sn",
                                              "--devices",
                                              std::to_string(kDevices),
                                              "--record",
                                              station.record.string()};
        for (int p = 0; p < kPorts; ++p) {
            const std::string sim = station.name + "-sim" + std::to_string(p);
            arguments.push_back("--port");
            arguments.push_back(
                StartSim(sim, kDevices, SerialFaults(11 + s * kPorts + p, kDevices)));
        }
        station.cli = StartCli(station, arguments, "run");
        stations.push_back(std::move(station));
    }
    const auto finished = [&] {
        std::size_t devices = 0;
        for (const auto& station : stations)
            devices += Lines(ReadWholeFile(station.record)).size();
        return devices;
    };

    // A third of the way, the server stops; every station says so once, and
    // its hellos go unanswered until the server is back.
    ASSERT_TRUE(WaitFor([&] { return finished() >= kStations * kPorts * kDevices / 3; },
                        std::chrono::seconds(200)));
    Server("halt", state_->Path());
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const auto& station : stations) {
                if (station.cli->Stderr().find("line database unreachable") == std::string::npos)
                    return false;
            }
            return true;
        },
        std::chrono::seconds(60)));
    Server("resume", state_->Path());

    std::vector<Recorded> records;
    for (auto& station : stations) {
        const int status = station.cli->Wait(kRunPatience);
        // Refused and unconfirmed numbers count as failed devices.
        EXPECT_TRUE(status == 0 || status == 1) << station.cli->Stderr();
        const std::string err = station.cli->Stderr();
        EXPECT_EQ(CountOf(err, "line database unreachable"), 1) << err;
        EXPECT_EQ(CountOf(err, "line database reachable again"), 1) << err;
        EXPECT_EQ(CountOf(err, "not yet sent"), 0) << "the spool went out at the end: " << err;
        const auto mine = Records(station);
        EXPECT_EQ(mine.size(), static_cast<std::size_t>(kPorts * kDevices)) << station.name;
        records.insert(records.end(), mine.begin(), mine.end());
    }

    // In the order the devices finished, over all stations.
    std::sort(records.begin(), records.end(),
              [](const Recorded& a, const Recorded& b) { return a.time < b.time; });

    // No number in two devices, whatever the acknowledgements did.
    std::vector<std::string> held;
    for (const auto& station : stations) {
        for (int p = 0; p < kPorts; ++p) {
            const auto some = HeldNumbers(station.name + "-sim" + std::to_string(p), kDevices);
            held.insert(held.end(), some.begin(), some.end());
        }
    }
    const std::set<std::string> distinct(held.begin(), held.end());
    EXPECT_EQ(distinct.size(), held.size()) << "two devices hold one number";

    // Every device is one row, none lost in the outage, none twice.
    std::multiset<std::string> expected;
    std::map<std::string, std::vector<std::string>> fatesOf;
    for (const auto& record : records) {
        ASSERT_FALSE(record.number.empty()) << record.station << " " << record.port;
        expected.insert(record.station + " " + record.port + " " + record.number + " " +
                        record.fate);
        fatesOf[record.number].push_back(record.fate);
    }
    EXPECT_TRUE(DeviceRows(database_.Conninfo()) == expected)
        << "the rows are the devices the stations recorded";

    // Refused numbers go out again; unconfirmed ones never do.
    const auto states = NumberStates(database_.Conninfo());
    int refused = 0;
    int unconfirmed = 0;
    int stillGivenBack = 0;
    for (const auto& [number, fates] : fatesOf) {
        const std::string last = fates.back();
        for (std::size_t i = 0; i + 1 < fates.size(); ++i) {
            EXPECT_TRUE(fates[i] == "refused" || fates[i] == "not-sent")
                << number << " went out again after " << fates[i];
        }
        refused += static_cast<int>(std::count(fates.begin(), fates.end(), "refused"));
        unconfirmed += last == "unconfirmed" ? 1 : 0;
        if (last == "refused" || last == "not-sent")
            ++stillGivenBack;
        const auto state = states.find(number);
        ASSERT_NE(state, states.end()) << number;
        EXPECT_EQ(state->second, last) << number;
    }
    EXPECT_GT(refused, 0) << "the run saw no refusal: draw other faults";
    EXPECT_GT(unconfirmed, 0) << "the run saw no lost acknowledgement: draw other faults";
    // What was given back at the very end may wait for the next device.
    EXPECT_LE(stillGivenBack, kStations * kPorts);
    // A reservation whose reply the outage cut off stays reserved: a gap.
    for (const auto& [number, state] : states) {
        if (fatesOf.count(number) == 0) {
            EXPECT_EQ(state, "reserved") << number << " no station heard of";
        }
    }
}

// A station killed while a device holds its number unanswered: the number
// stays reserved on the line and no station gets it again.
TEST_F(LineCliTest, KilledMidWriteItsNumberIsNeverHandedOutAgain) {
    ScratchDatabase database;
    Station station = NewStation("killed");
    const std::string port = StartSim("sim", 2, {"--device-delay", "3000", "--trace"});
    // The line from the environment, as a station's profile sets it.
    ::setenv("COMFLASH_LINE", database.Conninfo().c_str(), 1);
    auto cli = StartCli(station, {"--port", port, "--write-sn", "--station", "killed"}, "run");
    ASSERT_TRUE(WaitFor(
        [&] {
            return sims_.back()->Stderr().find("host>dev   38400  write     AB AB 00 0F 94") !=
                       std::string::npos ||
                   cli->Poll();
        },
        std::chrono::seconds(60)));
    ASSERT_FALSE(cli->Poll()) << cli->Stderr();
    ::kill(cli->Pid(), SIGKILL);
    EXPECT_EQ(cli->Wait(Patience(std::chrono::seconds(20))), 128 + SIGKILL);
    EXPECT_EQ(NumberStates(database.Conninfo())[kFirst], "reserved");

    // Another station takes the next device, then the killed one comes back.
    Station other = NewStation("other");
    EXPECT_EQ(RunCli(other, {"--port", port, "--devices", "1", "--write-sn"}, "next"), 0)
        << ReadWholeFile(dir_ / "other-next.err");
    const auto held = HeldNumbers("sim", 2);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], kFirst);
    EXPECT_EQ(held[1], "QA000101");
    const auto states = NumberStates(database.Conninfo());
    EXPECT_EQ(states.at(kFirst), "reserved") << "never settled, never given back";
    EXPECT_EQ(states.at("QA000101"), "written");
    const std::string shown = [&] {
        station.folder->Use();
        auto show = StartCli(station, {"--show-sn"}, "show");
        show->Wait(Patience(std::chrono::seconds(60)));
        return show->Stdout();
    }();
    EXPECT_EQ(shown, "QA000102\n");
}

// The line's command lists the number of a station whose connection is gone
// at once: the device that may hold it is to be set aside now, not in ten
// minutes.
TEST_F(LineCliTest, NumberOfAKilledStationIsListedAtOnce) {
    ScratchDatabase database;
    Station station = NewStation("killed");
    const std::string port = StartSim("sim", 1, {"--device-delay", "3000", "--trace"});
    auto cli = StartCli(
        station, {"--port", port, "--write-sn", "--line", database.Conninfo()}, "run");
    ASSERT_TRUE(WaitFor(
        [&] {
            return sims_.back()->Stderr().find("host>dev   38400  write     AB AB 00 0F 94") !=
                       std::string::npos ||
                   cli->Poll();
        },
        std::chrono::seconds(60)));
    ASSERT_FALSE(cli->Poll()) << cli->Stderr();
    ::kill(cli->Pid(), SIGKILL);
    cli->Wait(Patience(std::chrono::seconds(20)));

    // The server notices the connection is gone within moments.
    std::string status;
    EXPECT_TRUE(WaitFor(
        [&] {
            ChildProcess tool(TestPath("COMFLASH_LINE_TOOL_PATH"), {"--line", database.Conninfo(), "status"},
                              dir_.Path(), "status");
            tool.Wait(Patience(std::chrono::seconds(60)));
            status = tool.Stdout();
            return status.find("QA000100  reserved, never settled") != std::string::npos;
        },
        std::chrono::seconds(30)))
        << status;
}

// Ctrl-C, a termination request or a closed terminal in the middle of a
// write end a run on the line as they end one alone: the number in flight is
// unconfirmed in the record and on the line, the summary says so, and the
// exit status is 1.
struct StopCase {
    const char* name;
    int signal;
};

class LineStoppedMidWrite : public LineCliTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(LineStoppedMidWrite, LeavesTheNumberUnconfirmedEverywhere) {
    ScratchDatabase database;
    Station station = NewStation("stopped");
    const std::string port = StartSim("sim", 1, {"--device-delay", "3000", "--trace"});
    auto cli = StartCli(station,
                        {"--port", port, "--write-sn", "--line", database.Conninfo(), "--record",
                         station.record.string()},
                        "run");
    ASSERT_TRUE(WaitFor(
        [&] {
            return sims_.back()->Stderr().find("host>dev   38400  write     AB AB 00 0F 94") !=
                       std::string::npos ||
                   cli->Poll();
        },
        std::chrono::seconds(60)));
    ASSERT_FALSE(cli->Poll()) << cli->Stderr();
    ::kill(cli->Pid(), GetParam().signal);
    EXPECT_EQ(cli->Wait(Patience(std::chrono::seconds(60))), 1) << cli->Stderr();

    EXPECT_NE(cli->Stdout().find("unconfirmed: QA000100"), std::string::npos) << cli->Stdout();
    const auto records = Records(station);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].number, kFirst);
    EXPECT_EQ(records[0].fate, "unconfirmed");
    EXPECT_EQ(NumberStates(database.Conninfo()).at(kFirst), "unconfirmed");
    EXPECT_EQ(RowDevicesCount(database.Conninfo()), 1) << "the device's row reached the line";
}

INSTANTIATE_TEST_SUITE_P(Signals, LineStoppedMidWrite,
                         ::testing::Values(StopCase{"interrupted", SIGINT},
                                           StopCase{"terminated", SIGTERM},
                                           StopCase{"terminal_closed", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two ports write at once on the line, each device saying hello once only:
// none waits on the other port's device, so none leaves without a number.
TEST_F(LineCliTest, EveryPortServesDevicesThatSayHelloOnce) {
    ScratchDatabase database;
    Station station = NewStation("hello-once");
    const std::string a = StartSim("a", 4, {"--hello-once", "1500"});
    const std::string b = StartSim("b", 4, {"--hello-once", "1500"});
    std::string err;
    EXPECT_EQ(RunCli(station,
                     {"--port", a, "--port", b, "--devices", "4", "--write-sn", "--line",
                      database.Conninfo()},
                     "run", &err),
              0)
        << err;
    auto held = HeldNumbers("a", 4);
    const auto heldB = HeldNumbers("b", 4);
    held.insert(held.end(), heldB.begin(), heldB.end());
    EXPECT_EQ(held.size(), 8u) << "every device got its number";
    EXPECT_EQ(std::set<std::string>(held.begin(), held.end()).size(), held.size());
    for (const auto& [number, state] : NumberStates(database.Conninfo()))
        EXPECT_EQ(state, "written") << number;
}

// A station that wrote numbers of a series through the line refuses to write
// that series from its own store, unless told it works alone now.
TEST_F(LineCliTest, WriteWithoutTheLineIsRefusedAfterALineRunUnlessStandalone) {
    ScratchDatabase database;
    Station station = NewStation("alone");
    const std::string port = StartSim("sim", 2);
    EXPECT_EQ(
        RunCli(station,
               {"--port", port, "--devices", "1", "--write-sn", "--line", database.Conninfo()},
               "line"),
        0);

    std::string err;
    EXPECT_EQ(RunCli(station, {"--port", port, "--devices", "1", "--write-sn"}, "refused", &err),
              2);
    EXPECT_NE(err.find("through the line database"), std::string::npos) << err;
    EXPECT_NE(err.find("--standalone"), std::string::npos) << err;

    EXPECT_EQ(RunCli(station, {"--port", port, "--devices", "1", "--write-sn", "--standalone"},
                     "standalone", &err),
              0)
        << err;
    // The station's store followed the line: it carries on after the line's number.
    const auto held = HeldNumbers("sim", 2);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], kFirst);
    EXPECT_EQ(held[1], "QA000101");
}

// Updates need no serial numbers: they go on while the line is away, and
// their rows follow with the next run that reaches it.
TEST_F(LineCliTest, UpdatesGoOnWhileTheLineIsAwayAndTheirRowsFollow) {
    ScratchDatabase database;
    Station station = NewStation("updates");
    const std::string port = StartSim("sim", 2);
    // A port on the loopback where no server listens.
    const std::string away = "host=127.0.0.1 port=1 dbname=nothing";
    std::string err;
    EXPECT_EQ(
        RunCli(station, {"--port", port, "--devices", "1", "--line", away, "--station", "updates"},
               "away", &err),
        0)
        << err;
    EXPECT_EQ(CountOf(err, "line database unreachable"), 1) << err;
    EXPECT_NE(err.find("1 entry"), std::string::npos) << err;
    EXPECT_NE(err.find("line-spool"), std::string::npos) << err;

    EXPECT_EQ(RunCli(station,
                     {"--port", port, "--devices", "1", "--line", database.Conninfo(), "--station",
                      "updates"},
                     "back", &err),
              0)
        << err;
    EXPECT_EQ(CountOf(err, "line database unreachable"), 0) << err;
    const auto rows = DeviceRows(database.Conninfo());
    EXPECT_EQ(rows.count("updates " + port + " - -"), 2u) << "both devices, once each";
    EXPECT_EQ(rows.size(), 2u);
}

// The identity rules with the line as the source of numbers: a device is
// written only when it holds none, left alone with another number, and
// confirms a number whose fate only the line knows; every row carries the
// device's own number as the --record file does.
struct IdentityCase {
    const char* name;
    std::vector<std::string> simOptions;  // two devices
    std::vector<std::string> cliOptions;
    int status;
    // Per finished device: "result device_serial_kind device_serial" ("-": none).
    std::vector<std::string> devices;
    std::map<std::string, std::string> states;  // the line's numbers at the end
};

class LineIdentity : public LineCliTest, public ::testing::WithParamInterface<IdentityCase> {
protected:
    // The record file's devices, in the rows' words.
    static std::vector<std::string> RecordedDevices(const Station& station) {
        std::vector<std::string> devices;
        for (const auto& line : Lines(ReadWholeFile(station.record))) {
            const Json record = Json::Parse(line);
            std::string device = "- -";
            if (record.Has("device_serial")) {
                device = record["device_serial"].IsNull()
                             ? "none -"
                             : "number " + record["device_serial"].String();
            }
            devices.push_back(record["result"].String() + " " + device);
        }
        return devices;
    }
    static std::vector<std::string> RowDevices(const std::string& conninfo) {
        line::PgConnection connection(conninfo);
        line::PgResult rows = connection.Exec(
            "SELECT outcome || ' ' || coalesce(device_serial_kind, '-') || ' ' || "
            "coalesce(device_serial, '-') FROM comflash_devices ORDER BY finished_at");
        std::vector<std::string> devices;
        for (int i = 0; i < rows.Rows(); ++i)
            devices.push_back(rows.Text(i, 0));
        return devices;
    }
};

TEST_P(LineIdentity, HoldsWithTheLineAsTheSource) {
    const IdentityCase& row = GetParam();
    ScratchDatabase database;
    Station station = NewStation("identity");
    const std::string port = StartSim("sim", 2, row.simOptions);
    std::vector<std::string> arguments = {
        "--port", port, "--line", database.Conninfo(), "--record", station.record.string()};
    arguments.insert(arguments.end(), row.cliOptions.begin(), row.cliOptions.end());
    std::string err;
    EXPECT_EQ(RunCli(station, arguments, "run", &err), row.status) << err;

    EXPECT_EQ(RecordedDevices(station), row.devices);
    EXPECT_EQ(RowDevices(database.Conninfo()), row.devices) << "the rows are the record's devices";
    EXPECT_EQ(NumberStates(database.Conninfo()), row.states);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LineIdentity,
    ::testing::Values(
        IdentityCase{"erased_devices_get_the_next_numbers",
                     {},
                     {"--write-sn", "--devices", "2"},
                     0,
                     {"serial-written none -", "serial-written none -"},
                     {{"QA000100", "written"}, {"QA000101", "written"}}},
        // Left alone, counted neither way; its number went back and to the next device.
        IdentityCase{"foreign_number_is_left_alone",
                     {"--device-serial", "1:XY000001"},
                     {"--write-sn", "--devices", "1"},
                     0,
                     {"already-provisioned number XY000001", "serial-written none -"},
                     {{"QA000100", "written"}}},
        // The acknowledgement is lost and the same device comes back holding
        // the number: written on the line; the number taken at its second
        // hello goes back.
        IdentityCase{"returning_device_confirms_its_number",
                     {"--fault", "1:returns-after:serial"},
                     {"--write-sn", "--devices", "2"},
                     1,
                     {"timed-out none -", "serial-confirmed number QA000100"},
                     {{"QA000100", "written"}, {"QA000101", "not-sent"}}},
        IdentityCase{"updates_record_each_devices_number",
                     {"--device-serial", "1:QA000123"},
                     {"--devices", "2"},
                     0,
                     {"updated number QA000123", "updated none -"},
                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A number whose acknowledgement was lost at one station is confirmed by its
// device at another: the line, not the station's own settings, knows it.
TEST_F(LineCliTest, DeviceConfirmsAtAnotherStationTheNumberWhoseAcknowledgementWasLost) {
    ScratchDatabase database;
    const std::string port = StartSim("sim", 2, {"--fault", "1:returns-after:serial"});
    Station first = NewStation("first");
    std::string err;
    EXPECT_EQ(
        RunCli(first,
               {"--port", port, "--devices", "1", "--write-sn", "--line", database.Conninfo()},
               "lost", &err),
        1)
        << err;
    EXPECT_EQ(NumberStates(database.Conninfo())[kFirst], "unconfirmed");

    Station second = NewStation("second");
    EXPECT_EQ(RunCli(second,
                     {"--port", port, "--devices", "1", "--write-sn", "--line", database.Conninfo(),
                      "--record", second.record.string()},
                     "back", &err),
              0)
        << err;
    EXPECT_NE(err.find("SN QA000100 confirmed: the device holds it"), std::string::npos) << err;
    const auto states = NumberStates(database.Conninfo());
    EXPECT_EQ(states.at(kFirst), "written");
    EXPECT_EQ(states.at("QA000101"), "not-sent") << "taken at the hello, never written";
    const auto records = Records(second);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].number, kFirst);
    EXPECT_EQ(records[0].fate, "written");
}

// The line breaks between the hello (its number reserved) and the question
// whether the device's own number is one of unknown fate: the device is
// neither written nor judged, and provisioning goes on once the line is back.
TEST_F(LineCliTest, DeviceWhoseNumberTheLineCannotJudgeNowIsLeftForLater) {
    ScratchDatabase database;
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    const std::string proxied =
        database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port());
    relay.CutAtRequest("SELECT count(*) FROM comflash_serial_numbers");
    Station station = NewStation("cut");
    const std::string port = StartSim("sim", 2, {"--device-serial", "1:XY000001"});
    std::string err;
    EXPECT_EQ(RunCli(station,
                     {"--port", port, "--devices", "1", "--write-sn", "--line", proxied, "--record",
                      station.record.string()},
                     "run", &err),
              0)
        << err;
    EXPECT_NE(err.find("device holding serial number XY000001 waits for its next hello"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("already holds"), std::string::npos) << err;
    const auto records = Records(station);
    ASSERT_EQ(records.size(), 1u) << "the device left for later is no finished device";
    EXPECT_EQ(records[0].fate, "written");
    EXPECT_EQ(DeviceRows(database.Conninfo()).size(), 1u);
    const auto held = HeldNumbers("sim", 2);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], "XY000001") << "left as it was";
}

// The connection to the line is cut at one step of taking or settling a
// number, right after the request reached the server: the run goes on. A
// device caught at a reservation or at a question about its own number waits
// for its next hello; a number given back or settled reaches the line
// through the spool. No number twice, none lost but the reservation cut off.
struct CutCase {
    const char* name;
    const char* request;  // a piece of the SQL of the request cut off
    std::vector<std::string> simOptions;
    int simDevices;
    int devices;  // --devices
    int status;
    std::vector<std::string> records;  // "result number fate" per finished device
    std::map<std::string, std::string> states;
};

class LineCut : public LineCliTest, public ::testing::WithParamInterface<CutCase> {
protected:
    static std::vector<std::string> RecordedNumbers(const Station& station) {
        std::vector<std::string> numbers;
        for (const auto& line : Lines(ReadWholeFile(station.record))) {
            const Json record = Json::Parse(line);
            std::string number = "- -";
            if (record.Has("serial_sent"))
                number = record["serial_sent"].String() + " " + record["serial_fate"].String();
            numbers.push_back(record["result"].String() + " " + number);
        }
        return numbers;
    }
};

TEST_P(LineCut, NeverEndsTheRun) {
    const CutCase& row = GetParam();
    ScratchDatabase database;
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    const std::string proxied =
        database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port());
    relay.CutAtRequest(row.request);
    Station station = NewStation("cut");
    const std::string port = StartSim("sim", row.simDevices, row.simOptions);
    std::string err;
    EXPECT_EQ(RunCli(station,
                     {"--port", port, "--devices", std::to_string(row.devices), "--write-sn",
                      "--line", proxied, "--record", station.record.string()},
                     "run", &err),
              row.status)
        << err;
    EXPECT_FALSE(relay.FaultPending()) << "the run never made that request";
    EXPECT_EQ(RecordedNumbers(station), row.records) << err;
    EXPECT_EQ(NumberStates(database.Conninfo()), row.states);
}

// A device that comes back holding the number whose acknowledgement it lost.
const std::vector<std::string> kReturning = {"--fault", "1:returns-after:serial"};

INSTANTIATE_TEST_SUITE_P(
    Steps, LineCut,
    ::testing::Values(CutCase{"reservation",
                              "FROM comflash_reserve(",
                              {},
                              1,
                              1,
                              0,
                              {"serial-written QA000101 written"},
                              {{"QA000100", "reserved"}, {"QA000101", "written"}}},
                      // The number taken for a device that already holds one goes back.
                      CutCase{"give_back",
                              "SET state = $2",
                              {"--device-serial", "1:XY000001"},
                              2,
                              1,
                              0,
                              {"already-provisioned - -", "serial-written QA000100 written"},
                              {{"QA000100", "written"}}},
                      CutCase{
                          "fate",
                          "SET state = $2",
                          {},
                          2,
                          2,
                          0,
                          {"serial-written QA000100 written", "serial-written QA000101 written"},
                          {{"QA000100", "written"}, {"QA000101", "written"}}},
                      // Whether the returning device's number is one of unknown fate: no
                      // answer, so it is neither written nor judged, and its hello's
                      // number goes to the next device.
                      CutCase{"question",
                              "SELECT count(*) FROM comflash_serial_numbers",
                              kReturning,
                              3,
                              2,
                              1,
                              {"timed-out QA000100 unconfirmed", "serial-written QA000101 written"},
                              {{"QA000100", "unconfirmed"}, {"QA000101", "written"}}},
                      // The confirmation reached the server, its reply did not.
                      CutCase{"confirmation",
                              "SET state = 'written'",
                              kReturning,
                              3,
                              2,
                              1,
                              {"timed-out QA000100 unconfirmed", "serial-written QA000101 written"},
                              {{"QA000100", "written"}, {"QA000101", "written"}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class LineOptionsRefused : public LineCliTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(LineOptionsRefused, SayWhy) {
    Station station = NewStation("options");
    std::string err;
    EXPECT_EQ(RunCli(station, GetParam().arguments, "run", &err), 2);
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, LineOptionsRefused,
    ::testing::Values(RefusedCase{"standalone_with_line",
                                  {"--port", "/dev/null", "--line", "host=a", "--standalone"},
                                  "--standalone works without the line database: leave out --line"},
                      RefusedCase{"station_without_line",
                                  {"--port", "/dev/null", "--station", "st1"},
                                  "--station names this station on a line: give --line CONNINFO"},
                      RefusedCase{"unreadable_line",
                                  {"--port", "/dev/null", "--line", "host=a password=secret user"},
                                  "postgresql://"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
