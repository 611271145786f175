// Stations of a line run as processes of their own (line_station), and the
// account the tests check after them: what the stations say they did against
// what the line database holds.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "line_fixture.h"

namespace comflash::testing {

struct StationRun {
    std::string name;
    std::unique_ptr<StationFolder> folder;
    std::unique_ptr<ChildProcess> process;
};

inline StationRun StartStation(const std::string& name, const std::string& conninfo,
                               std::vector<std::string> options,
                               const std::filesystem::path& output) {
    StationRun run;
    run.name = name;
    run.folder = std::make_unique<StationFolder>(name);
    std::vector<std::string> arguments = {
        "--settings", run.folder->Path().string(), "--line", conninfo, "--station", name};
    arguments.insert(arguments.end(), options.begin(), options.end());
    run.process = std::make_unique<ChildProcess>(TestPath("COMFLASH_LINE_STATION_PATH"), arguments,
                                                 output, name);
    return run;
}

// How many lines of the station's output start with `word`.
inline int Said(const StationRun& run, const std::string& word) {
    int count = 0;
    for (const auto& line : Lines(run.process->Stdout()))
        count += line == word || line.rfind(word + " ", 0) == 0 ? 1 : 0;
    return count;
}

struct Settled {
    std::string station;
    std::string port;
    std::string number;
    std::string fate;
};

inline std::vector<Settled> SettledBy(const StationRun& run) {
    std::vector<Settled> settled;
    for (const auto& line : Lines(run.process->Stdout())) {
        std::istringstream words(line);
        std::string word;
        Settled one{run.name, {}, {}, {}};
        if (words >> word && word == "settled" && words >> one.port >> one.number >> one.fate)
            settled.push_back(one);
    }
    return settled;
}

inline bool HeldByADevice(const std::string& fate) {
    return fate == "written" || fate == "unconfirmed";
}

// The line's account after `runs` ended, each having served `devicesPerPort`
// devices on `portsPerStation` ports:
// - no number went into two devices (written or unconfirmed at most once),
//   and the line holds each number in the state of its last fate;
// - the numbers form one unbroken run from `first`: no number skipped, except
//   reservations whose outcome the station never learned (`gapsAllowed`),
//   which stay reserved;
// - a number given back went out again before any new one: what is still
//   given back at the end is at most one per port;
// - every device is one row, with its number and fate.
inline void CheckLineAccount(const std::string& conninfo, const std::vector<StationRun>& runs,
                             int portsPerStation, int devicesPerPort, long firstValue,
                             bool gapsAllowed) {
    std::map<std::string, std::vector<std::string>> fatesOf;
    std::multiset<std::string> settledRows;
    for (const auto& run : runs) {
        const auto settled = SettledBy(run);
        EXPECT_EQ(settled.size(), static_cast<std::size_t>(portsPerStation * devicesPerPort))
            << run.name;
        for (const auto& one : settled) {
            fatesOf[one.number].push_back(one.fate);
            settledRows.insert(one.station + " " + one.port + " " + one.number + " " + one.fate);
        }
    }

    line::PgConnection connection(conninfo);
    std::map<std::string, std::string> stateOf;
    line::PgResult rows = connection.Exec(
        "SELECT prefix || lpad(value::text, 6, '0'), state, value FROM comflash_serial_numbers "
        "ORDER BY value");
    for (int i = 0; i < rows.Rows(); ++i) {
        stateOf[rows.Text(i, 0)] = rows.Text(i, 1);
        EXPECT_EQ(rows.Number(i, 2), firstValue + i) << "a number was skipped";
    }

    int givenBack = 0;
    int takenAgain = 0;
    int stillGivenBack = 0;
    for (const auto& [number, fates] : fatesOf) {
        int held = 0;
        for (const auto& fate : fates)
            held += HeldByADevice(fate) ? 1 : 0;
        givenBack += static_cast<int>(fates.size()) - held;
        takenAgain += static_cast<int>(fates.size()) - 1;
        EXPECT_LE(held, 1) << number << " went into " << held << " devices";
        const std::string state = stateOf[number];
        if (held == 1) {
            EXPECT_TRUE(HeldByADevice(state)) << number << " is " << state;
        } else {
            EXPECT_TRUE(state == "refused" || state == "not-sent") << number << " is " << state;
            ++stillGivenBack;
        }
    }
    const int ports = static_cast<int>(runs.size()) * portsPerStation;
    EXPECT_LE(stillGivenBack, ports) << "numbers given back stayed behind new ones";
    EXPECT_GE(takenAgain, givenBack - ports) << "numbers given back did not go out again";
    for (const auto& [number, state] : stateOf) {
        if (fatesOf.count(number) == 0) {
            EXPECT_TRUE(gapsAllowed) << number << " reserved, never heard of by a station";
            EXPECT_EQ(state, "reserved") << number;
        }
    }

    std::multiset<std::string> deviceRows;
    line::PgResult devices = connection.Exec(
        "SELECT station || ' ' || port || ' ' || serial_number || ' ' || serial_fate "
        "FROM comflash_devices");
    for (int i = 0; i < devices.Rows(); ++i)
        deviceRows.insert(devices.Text(i, 0));
    EXPECT_EQ(deviceRows.size(), settledRows.size()) << "every device is one row";
    EXPECT_TRUE(deviceRows == settledRows) << "the rows are the devices the stations served";
}

}  // namespace comflash::testing
