// The reliability soak: comflash-cli on several ports against simulators that
// draw faults at random, then the simulators' reports checked against the
// tool's record (soak_check.h says what is checked). The promises checked:
//   - no device is counted good unless it holds exactly the image (or, with
//     --write-sn, the number counted);
//   - every device is counted exactly once, and the exit status says whether
//     one failed;
//   - no run hangs: each device ends within what the protocol allows;
//   - the tool's memory stays flat;
//   - with --write-sn, no number is in two devices, the stored number is
//     past every number a device holds, and none is lost in between.
//
//   comflash-soak [--ports N] [--devices M] [--seed S] [--fault-rate P] [--write-sn]
//
// Without --seed each run draws its own faults; the seed is printed at the
// start, and a failing run prints the command that plays it again.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_store.h"
#include "child_process.h"
#include "protocol_floor.h"
#include "sim_process.h"
#include "soak_check.h"
#include "test_paths.h"

namespace {

using comflash::soak::Millis;
using comflash::testing::ChildProcess;
using comflash::testing::Lines;
using comflash::testing::ReadWholeFile;
using comflash::testing::TestPath;
using namespace comflash::simtest;

constexpr const char* kFirstSerialNumber = "SOAK000100";
constexpr Millis kPowerUpDelay{200};
constexpr Millis kQuietEnd{1000};
constexpr Millis kWatchInterval{200};

struct SoakOptions {
    int ports = 4;
    int devices = 50;  // in all, spread over the ports
    unsigned seed = std::random_device()();
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

// The command that plays this run again: the same faults on the same devices.
std::string ReplayCommand(const char* argv0, const SoakOptions& options) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        self = std::filesystem::absolute(argv0);
    // The programs and the expected image as scripts/soak handed them over.
    std::string environment;
    for (const char* variable :
         {"COMFLASH_CLI_PATH", "COMFLASH_SIM_PATH", "COMFLASH_EXPECTED_IMAGE_PATH"}) {
        environment += std::string(variable) + "=" + TestPath(variable) + " ";
    }
    return environment + self.string() + " --ports " + std::to_string(options.ports) +
           " --devices " + std::to_string(options.devices) + " --seed " +
           std::to_string(options.seed) + " --fault-rate " + options.faultRate +
           (options.writeSerialNumbers ? " --write-sn" : "");
}

long ResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

// The report's lines once `count` are there, or what there is when the
// patience runs out.
std::vector<std::string> AwaitReportLines(const std::filesystem::path& report, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (true) {
        auto lines = Lines(ReadWholeFile(report));
        if (lines.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return lines;
        std::this_thread::sleep_for(Millis(20));
    }
}

class Soak {
public:
    Soak(SoakOptions options, std::string replay)
        : options_(std::move(options)), replay_(std::move(replay)) {
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        plan_.ports = options_.ports;
        plan_.devicesPerPort = (options_.devices + options_.ports - 1) / options_.ports;
        plan_.writeSerialNumbers = options_.writeSerialNumbers;
        plan_.firstSerialNumber = kFirstSerialNumber;
    }

    int Run() {
        std::printf("soak: seed %u\n", options_.seed);
        const double floorMs = options_.writeSerialNumbers
                                   ? comflash::testing::SerialWriteFloorMs()
                                   : comflash::testing::UpdateFloorMs(std::filesystem::file_size(
                                         TestPath("COMFLASH_EXPECTED_IMAGE_PATH")));
        plan_.deviceDeadline = comflash::soak::DeviceDeadline(floorMs, {kPowerUpDelay, kQuietEnd});
        std::printf(
            "soak: wire floor %.0f ms a device, deadline %lld ms a device, %lld s the run\n",
            floorMs, static_cast<long long>(plan_.deviceDeadline.count()),
            static_cast<long long>(comflash::soak::RunDeadline(plan_).count() / 1000));
        std::fflush(stdout);

        if (options_.writeSerialNumbers)
            comflash::SettingsStore().WriteSetting("SN", kFirstSerialNumber);
        std::vector<std::string> arguments = {"--record", Record().string()};
        if (options_.writeSerialNumbers)
            arguments.push_back("--write-sn");
        arguments.insert(arguments.end(), {"--devices", std::to_string(plan_.devicesPerPort)});
        for (int n = 0; n < options_.ports; ++n) {
            arguments.push_back("--port");
            arguments.push_back(StartSim(n));
        }
        ChildProcess cli(TestPath("COMFLASH_CLI_PATH"), arguments, dir_.Path(), "cli");
        WatchMemory(cli);
        if (run_.exitStatus)
            std::printf("soak: comflash-cli ended with status %d after %.1f s\n", *run_.exitStatus,
                        static_cast<double>(run_.cliRanFor.count()) / 1000);
        const bool passed = Check();
        if (!passed) {
            std::printf("soak: what comflash-cli said on standard error:\n%s",
                        cli.Stderr().c_str());
            std::printf("soak: to play this run again: %s\n", replay_.c_str());
        }
        return passed ? 0 : 1;
    }

private:
    std::filesystem::path Record() const { return dir_ / "record.jsonl"; }
    std::filesystem::path Report(int n) const {
        return dir_ / ("sim" + std::to_string(n) + ".report");
    }

    std::string StartSim(int n) {
        const int devices = plan_.devicesPerPort;
        std::vector<std::string> arguments = {
            "--devices",        std::to_string(devices),
            "--expect",         TestPath("COMFLASH_EXPECTED_IMAGE_PATH"),
            "--report",         Report(n).string(),
            "--quiet-end",      std::to_string(kQuietEnd.count()),
            "--power-up-delay", std::to_string(kPowerUpDelay.count())};
        if (!options_.writeSerialNumbers) {
            arguments.insert(arguments.end(),
                             {"--faults", "random", "--seed",
                              std::to_string(options_.seed + static_cast<unsigned>(n)),
                              "--fault-rate", options_.faultRate});
        } else {
            // Only the faults of a serial-number write are of interest here,
            // among them those after which the device holds the number and
            // the tool never hears so. The next device comes once the tool's
            // reply time-out (10 s at the most) is over.
            static const char* const kSerialFaults[] = {"serial-refused", "no-reply:serial",
                                                        "stored-no-reply:serial",
                                                        "late-reply:serial", "split-reply:serial"};
            constexpr unsigned kDraws = 16;  // about one device in three plays a fault
            arguments.insert(arguments.end(), {"--host-timeout", "10500"});
            for (int d = 1; d <= devices; ++d) {
                const unsigned draw =
                    (options_.seed * 7919u + static_cast<unsigned>(n * 104729 + d * 31)) % kDraws;
                if (draw < std::size(kSerialFaults)) {
                    arguments.insert(arguments.end(),
                                     {"--fault", std::to_string(d) + ":" + kSerialFaults[draw]});
                }
            }
        }
        sims_.push_back(
            std::make_unique<SimProcess>(arguments, dir_ / ("sim" + std::to_string(n) + ".err")));
        const std::string port = sims_.back()->NextPath();
        run_.simulators.push_back({port, {}});
        return port;
    }

    // Waits for the tool as long as its devices may take, noting its memory
    // after the first tenth of the devices and at the end.
    void WatchMemory(ChildProcess& cli) {
        const int devices = plan_.ports * plan_.devicesPerPort;
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + comflash::soak::RunDeadline(plan_);
        const auto ranFor = [&] {
            return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - start);
        };
        while (std::chrono::steady_clock::now() < deadline) {
            const long kilobytes = ResidentKilobytes(cli.Pid());
            const auto finished = Lines(ReadWholeFile(Record())).size();
            if (kilobytes > 0) {
                if (finished >= static_cast<std::size_t>(std::max(1, devices / 10)) &&
                    run_.earlyKilobytes == 0) {
                    run_.earlyKilobytes = kilobytes;
                }
                run_.lateKilobytes = kilobytes;
            }
            if (const auto status = cli.Poll()) {
                run_.exitStatus = *status;
                run_.cliRanFor = ranFor();
                return;
            }
            std::this_thread::sleep_for(kWatchInterval);
        }
        run_.cliRanFor = ranFor();
        cli.Wait(Millis(0));  // ends it, so that the devices' reports come to an end
    }

    bool Check() {
        run_.recordLines = Lines(ReadWholeFile(Record()));
        for (int n = 0; n < options_.ports; ++n) {
            run_.simulators[static_cast<std::size_t>(n)].lines =
                AwaitReportLines(Report(n), static_cast<std::size_t>(plan_.devicesPerPort));
        }
        if (options_.writeSerialNumbers)
            run_.storedSerialNumber = comflash::SettingsStore().ReadSetting("SN");
        const comflash::soak::SoakVerdict verdict = comflash::soak::JudgeSoak(plan_, run_);
        PrintFigures(verdict);
        for (const std::string& failure : verdict.failures)
            std::printf("soak: FAILED: %s\n", failure.c_str());
        std::printf("soak: %s\n", verdict.Passed() ? "passed" : "FAILED");
        return verdict.Passed();
    }

    void PrintFigures(const comflash::soak::SoakVerdict& verdict) const {
        std::printf("soak: %d devices on %d ports, %d counted good, %d counted failed\n",
                    verdict.devices, options_.ports, verdict.countedGood, verdict.countedFailed);
        for (const auto& [kind, count] : verdict.faults)
            std::printf("soak:   fault %-22s %d\n", kind.c_str(), count);
        std::printf(
            "soak: false Ok %d, miscounted ports %d, hangs %d, devices not as expected %d\n",
            verdict.falseOk, verdict.miscountedPorts, verdict.hangs, verdict.notAsExpected);
        std::printf("soak: longest device run %lld ms, deadline %lld ms\n", verdict.longestRunMs,
                    static_cast<long long>(plan_.deviceDeadline.count()));
        std::printf(
            "soak: comflash-cli resident memory %ld KB after the first tenth, %ld KB at the end\n",
            run_.earlyKilobytes, run_.lateKilobytes);
        if (options_.writeSerialNumbers) {
            auto held = verdict.heldSerialNumbers;
            std::sort(held.begin(), held.end());
            const std::string range =
                held.empty() ? "" : ", " + held.front() + " to " + held.back();
            std::printf("soak: %zu serial numbers held by the devices%s; the store holds %s\n",
                        held.size(), range.c_str(), run_.storedSerialNumber.c_str());
        }
    }

    SoakOptions options_;
    std::string replay_;
    TempDir dir_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
    comflash::soak::SoakPlan plan_;
    comflash::soak::SoakRun run_;
};

}  // namespace

int main(int argc, char** argv) {
    const SoakOptions options = ParseOptions(argc, argv);
    return Soak(options, ReplayCommand(argv[0], options)).Run();
}
