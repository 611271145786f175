// The reliability soak: comflash-cli on several ports against simulators that
// draw faults at random, then the simulators' reports checked against the
// tool's record. The promises checked:
//   - no device is counted good unless it holds exactly the image;
//   - every device is counted exactly once;
//   - no run hangs: each ends within its time-outs;
//   - the tool's memory stays flat;
//   - with --write-sn, the numbers the devices hold are consecutive, with no
//     duplicate and no gap, and the stored number is the next one.
//
//   comflash-soak [--ports N] [--devices M] [--seed S] [--fault-rate P] [--write-sn]
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/serial_number.h"
#include "app/settings_store.h"
#include "child_process.h"
#include "sim_process.h"

namespace {

using comflash::testing::ChildProcess;
using comflash::testing::Lines;
using comflash::testing::ReadWholeFile;
using namespace comflash::simtest;

// The longest a device's run may take: an update of the sample image plus
// the longest reply time-out (16 s) and the tool's one-second tick.
constexpr long long kLongestRunMs = 40000;
constexpr const char* kFirstSerialNumber = "SOAK000100";

struct SoakOptions {
    int ports = 4;
    int devices = 50;  // in all, spread over the ports
    unsigned seed = 1;
    std::string faultRate = "0.3";
    bool writeSerialNumbers = false;
};

SoakOptions ParseOptions(int argc, char** argv) {
    SoakOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ports" && hasValue) {
            options.ports = std::stoi(argv[++i]);
        } else if (arg == "--devices" && hasValue) {
            options.devices = std::stoi(argv[++i]);
        } else if (arg == "--seed" && hasValue) {
            options.seed = static_cast<unsigned>(std::stoul(argv[++i]));
        } else if (arg == "--fault-rate" && hasValue) {
            options.faultRate = argv[++i];
        } else if (arg == "--write-sn") {
            options.writeSerialNumbers = true;
        } else {
            std::fprintf(
                stderr,
                "usage: comflash-soak [--ports N] [--devices M] [--seed S] [--fault-rate P] "
                "[--write-sn]\n");
            std::exit(2);
        }
    }
    options.devices = std::max(options.devices, options.ports);
    return options;
}

// A fault without its block offset: "block-refused:1280" counts as "block-refused".
std::string FaultKind(const std::string& fault) {
    const std::size_t colon = fault.rfind(':');
    const bool offset = colon != std::string::npos &&
                        fault.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    return offset ? fault.substr(0, colon) : fault;
}

long ResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

class Soak {
public:
    explicit Soak(SoakOptions options) : options_(options) {
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }

    int Run() {
        if (options_.writeSerialNumbers)
            comflash::SettingsStore().WriteSetting("SN", kFirstSerialNumber);
        std::vector<std::string> arguments = {"--record", Record().string()};
        if (options_.writeSerialNumbers)
            arguments.push_back("--write-sn");
        const int perPort = (options_.devices + options_.ports - 1) / options_.ports;
        arguments.insert(arguments.end(), {"--devices", std::to_string(perPort)});
        for (int n = 0; n < options_.ports; ++n) {
            arguments.push_back("--port");
            arguments.push_back(StartSim(n, perPort));
        }
        ChildProcess cli(COMFLASH_CLI_PATH, arguments, dir_.Path(), "cli");
        const int status = WatchMemory(cli, options_.ports * perPort);
        std::printf("soak: comflash-cli ended with status %d\n", status);
        const int result = Check(perPort);
        if (result != 0)
            std::printf("soak: what comflash-cli said on standard error:\n%s",
                        cli.Stderr().c_str());
        return result;
    }

private:
    std::filesystem::path Record() const { return dir_ / "record.jsonl"; }
    std::filesystem::path Report(int n) const {
        return dir_ / ("sim" + std::to_string(n) + ".report");
    }

    std::string StartSim(int n, int devices) {
        std::vector<std::string> arguments = {
            "--devices",        std::to_string(devices),
            "--faults",         "random",
            "--seed",           std::to_string(options_.seed + static_cast<unsigned>(n)),
            "--fault-rate",     options_.faultRate,
            "--expect",         COMFLASH_FIRMWARE_PATH,
            "--report",         Report(n).string(),
            "--quiet-end",      "1000",
            "--power-up-delay", "200"};
        if (options_.writeSerialNumbers) {
            // Only the faults of a serial-number write are of interest here.
            arguments = {"--devices",        std::to_string(devices),
                         "--expect",         COMFLASH_FIRMWARE_PATH,
                         "--report",         Report(n).string(),
                         "--quiet-end",      "1000",
                         "--power-up-delay", "200"};
            for (int d = 1; d <= devices; ++d) {
                const unsigned draw =
                    (options_.seed * 7919u + static_cast<unsigned>(n * 104729 + d * 31)) % 10;
                if (draw == 0)
                    arguments.insert(arguments.end(),
                                     {"--fault", std::to_string(d) + ":serial-refused"});
                if (draw == 1)
                    arguments.insert(arguments.end(),
                                     {"--fault", std::to_string(d) + ":no-reply:serial"});
            }
        }
        sims_.push_back(
            std::make_unique<SimProcess>(arguments, dir_ / ("sim" + std::to_string(n) + ".err")));
        return sims_.back()->NextPath();
    }

    // Waits for the tool, noting its memory after the first tenth of the
    // devices and at the end.
    int WatchMemory(ChildProcess& cli, int devices) {
        const auto limit = std::chrono::minutes(10) + std::chrono::seconds(45) * devices;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            const long kilobytes = ResidentKilobytes(cli.Pid());
            const auto finished = Lines(ReadWholeFile(Record())).size();
            if (kilobytes > 0) {
                if (finished >= static_cast<std::size_t>(std::max(1, devices / 10)) &&
                    earlyKilobytes_ == 0) {
                    earlyKilobytes_ = kilobytes;
                }
                lateKilobytes_ = kilobytes;
            }
            if (const auto status = cli.Poll())
                return *status;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        std::printf("soak: comflash-cli still runs after %lld s: a hang\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::seconds>(limit).count()));
        return cli.Wait(std::chrono::milliseconds(0));
    }

    int Check(int perPort) {
        std::map<std::string, std::vector<Json>> records;
        for (const auto& line : Lines(ReadWholeFile(Record()))) {
            const Json record = Json::Parse(line);
            records[record["port"].String()].push_back(record);
        }
        int devices = 0, falseOk = 0, miscounted = 0, hangs = 0, unexpected = 0, good = 0;
        std::map<std::string, int> faults;
        std::vector<std::string> serialNumbers;
        for (int n = 0; n < options_.ports; ++n) {
            const auto reports = AwaitReport(Report(n), static_cast<std::size_t>(perPort));
            const std::string port = reports.empty() ? "" : reports[0]["port"].String();
            const auto& portRecords = records[port];
            if (reports.size() != static_cast<std::size_t>(perPort) ||
                portRecords.size() != reports.size()) {
                std::printf("soak: %s: %zu devices played, %zu counted:", port.c_str(),
                            reports.size(), portRecords.size());
                for (const auto& record : portRecords)
                    std::printf(" %s", record["result"].String().c_str());
                std::printf("\n");
                ++miscounted;
            }
            for (std::size_t k = 0; k < reports.size(); ++k) {
                const Json& device = reports[k];
                ++devices;
                ++faults[FaultKind(device["fault"].String())];
                if (!device["as_expected"].Bool())
                    ++unexpected;
                if (!device["serial_record"].IsNull() &&
                    device["outcome"].String() == "serial-written") {
                    serialNumbers.push_back(device["serial_record"].String());
                }
                if (k >= portRecords.size())
                    continue;
                const Json& record = portRecords[k];
                const bool countedGood = record["result"].String() == "updated";
                const bool holdsImage =
                    !device["image_equal"].IsNull() && device["image_equal"].Bool();
                if (countedGood && !holdsImage)
                    ++falseOk;
                if (countedGood || record["result"].String() == "serial-written")
                    ++good;
                if (record["duration_ms"].Int() > kLongestRunMs)
                    ++hangs;
            }
        }
        const bool serialsOk = !options_.writeSerialNumbers || CheckSerialNumbers(serialNumbers);

        std::printf("soak: %d devices on %d ports, %d counted good\n", devices, options_.ports,
                    good);
        for (const auto& [kind, count] : faults)
            std::printf("soak:   fault %-22s %d\n", kind.c_str(), count);
        std::printf(
            "soak: false Ok %d, miscounted ports %d, hangs %d, devices not as expected %d\n",
            falseOk, miscounted, hangs, unexpected);
        std::printf(
            "soak: comflash-cli resident memory %ld KB after the first tenth, %ld KB at the end\n",
            earlyKilobytes_, lateKilobytes_);
        const bool memoryFlat = lateKilobytes_ <= earlyKilobytes_ + 1024;
        const bool passed = falseOk == 0 && miscounted == 0 && hangs == 0 && unexpected == 0 &&
                            serialsOk && memoryFlat;
        std::printf("soak: %s\n", passed ? "passed" : "FAILED");
        return passed ? 0 : 1;
    }

    // The devices hold consecutive numbers from the first one, and the store
    // holds the one after the last.
    bool CheckSerialNumbers(std::vector<std::string> records) const {
        std::set<std::string> numbers;
        for (const auto& record : records)
            numbers.insert(record.substr(0, record.find('#')));
        std::string expected = kFirstSerialNumber;
        for (const auto& number : numbers) {
            if (number != expected) {
                std::printf("soak: serial numbers not consecutive: %s where %s was due\n",
                            number.c_str(), expected.c_str());
                return false;
            }
            expected = comflash::AdvanceSerialNumber(expected);
        }
        const bool distinct = numbers.size() == records.size();
        const std::string stored = comflash::SettingsStore().ReadSetting("SN");
        std::printf("soak: %zu serial numbers written, %s; the store holds %s\n", records.size(),
                    distinct ? "no duplicate" : "DUPLICATES", stored.c_str());
        return distinct && stored == expected;
    }

    SoakOptions options_;
    TempDir dir_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
    long earlyKilobytes_ = 0;
    long lateKilobytes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    return Soak(ParseOptions(argc, argv)).Run();
}
