// How close an update comes to the floor that the protocol itself sets, and
// how well several ports run side by side. Runs the real comflash-cli against
// comflash-sim --wire, which holds every reply for the time its bytes would
// take on a real line: first as described (a reply is whole after 30 ms of
// silence), then with --quick-turnaround against the wire alone.
//
//   update-bench [--ports 1,4,16]
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "protocol/firmware_image.h"
#include "protocol_floor.h"
#include "sim_process.h"
#include "test_firmware.h"
#include "test_paths.h"

namespace {

using comflash::testing::ChildProcess;
using comflash::testing::Lines;
using comflash::testing::QuickUpdateFloorMs;
using comflash::testing::ReadWholeFile;
using comflash::testing::UpdateFloorMs;
using namespace comflash::simtest;
using Millis = std::chrono::milliseconds;

// What the tool must reach: one device within 3 % of what the protocol itself
// costs (2 % of the bare wire with quick turnaround), and many ports side by
// side within 5 % of one port alone.
constexpr double kDeviceVsFloorTarget = 1.03;
constexpr double kQuickDeviceVsFloorTarget = 1.02;
constexpr double kPortsVsOneTarget = 1.05;

enum class Turnaround { Described, Quick };

struct Run {
    double wallMs = 0;
    std::vector<double> durationsMs;
    double cpuMsPerDevice = 0;
    bool allUpdated = true;
};

// N simulators with one device each, and one comflash-cli on all N ports.
Run UpdateOnPorts(const TempDir& dir, int ports, Turnaround turnaround, const std::string& firmware,
                  const std::string& text) {
    const std::string name =
        (turnaround == Turnaround::Quick ? "quick" : "described") + std::to_string(ports);
    const auto record = dir / ("record-" + name);
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> arguments = {"--image-text", text, "--devices", "1"};
    arguments.insert(arguments.end(), {"--record", record.string()});
    if (turnaround == Turnaround::Quick)
        arguments.push_back("--quick-turnaround");
    for (int n = 0; n < ports; ++n) {
        const auto sim = name + "-" + std::to_string(n);
        sims.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{"--wire", "--devices", "1", "--expect", firmware, "--report",
                                     (dir / (sim + ".report")).string()},
            dir / (sim + ".err")));
        arguments.push_back("--port");
        arguments.push_back(sims.back()->NextPath());
    }
    const auto start = std::chrono::steady_clock::now();
    ChildProcess cli(comflash::testing::TestPath("COMFLASH_CLI_PATH"), arguments, dir.Path(),
                     "cli-" + name);
    const int status = cli.Wait(Millis(600000));
    Run run;
    run.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.cpuMsPerDevice = std::chrono::duration<double, std::milli>(cli.CpuTime()).count() / ports;
    run.allUpdated = status == 0;
    for (const auto& line : Lines(ReadWholeFile(record))) {
        const Json device = Json::Parse(line);
        run.durationsMs.push_back(static_cast<double>(device["duration_ms"].Int()));
        run.allUpdated = run.allUpdated && device["result"].String() == "updated";
    }
    for (int n = 0; n < ports; ++n) {
        const auto sim = name + "-" + std::to_string(n);
        const auto devices = AwaitReport(dir / (sim + ".report"), 1);
        run.allUpdated = run.allUpdated && devices.size() == 1 && devices[0]["image_equal"].Bool();
    }
    return run;
}

std::vector<int> ParsePorts(int argc, char** argv) {
    std::vector<int> ports = {1, 4, 16};
    if (argc == 3 && std::string(argv[1]) == "--ports") {
        ports.clear();
        for (std::size_t at = 0; at != std::string::npos;) {
            const std::size_t comma = std::string(argv[2]).find(',', at);
            ports.push_back(std::stoi(std::string(argv[2]).substr(at, comma - at)));
            at = comma == std::string::npos ? comma : comma + 1;
        }
    }
    return ports;
}

}  // namespace

struct Row {
    int ports;
    Run run;
    double slowest;
};

double Slowest(const Run& run) {
    double slowest = 0;
    for (double d : run.durationsMs)
        slowest = std::max(slowest, d);
    return slowest;
}

// Runs every port count in one mode, printing each row as it comes.
std::vector<Row> RunMode(const TempDir& dir, Turnaround turnaround,
                         const std::vector<int>& portCounts, double floorMs,
                         const std::string& firmware, const std::string& text) {
    std::printf("%s: protocol floor %.0f ms per device\n",
                turnaround == Turnaround::Quick ? "quick turnaround" : "as described", floorMs);
    std::printf("%6s %12s %14s %12s %16s %10s\n", "ports", "wall ms", "device ms", "vs floor",
                "vs one port", "cpu ms/dev");
    std::vector<Row> rows;
    for (int ports : portCounts) {
        const Run run = UpdateOnPorts(dir, ports, turnaround, firmware, text);
        const double slowest = Slowest(run);
        const double oneAlone = rows.empty() ? run.wallMs : rows.front().run.wallMs;
        std::printf("%6d %12.0f %14.0f %12.4f %16.4f %10.1f%s\n", ports, run.wallMs, slowest,
                    slowest / floorMs, run.wallMs / oneAlone, run.cpuMsPerDevice,
                    run.allUpdated ? "" : "  (a device failed!)");
        rows.push_back({ports, run, slowest});
    }
    return rows;
}

// The README's row targets, as it states them: described figures below the
// targets, quick ones at most at them. True when every row meets them.
bool CheckTargets(Turnaround turnaround, const std::vector<Row>& rows, double floorMs) {
    const bool quick = turnaround == Turnaround::Quick;
    const double deviceTarget = quick ? kQuickDeviceVsFloorTarget : kDeviceVsFloorTarget;
    const auto within = [quick](double figure, double target) {
        return quick ? figure <= target : figure < target;
    };
    const char* bound = quick ? "at most" : "below";
    bool ok = true;
    const double oneAlone = rows.front().run.wallMs;
    for (const Row& row : rows) {
        const bool deviceMet = within(row.slowest / floorMs, deviceTarget);
        const bool portsMet = within(row.run.wallMs / oneAlone, kPortsVsOneTarget);
        std::printf("%s, %d port(s): device vs floor %s %.2f %s; all vs one port %s %.2f %s\n",
                    quick ? "quick turnaround" : "as described", row.ports, bound, deviceTarget,
                    deviceMet ? "met" : "MISSED", bound, kPortsVsOneTarget,
                    portsMet ? "met" : "MISSED");
        ok = ok && deviceMet && portsMet && row.run.allUpdated;
    }
    return ok;
}

int main(int argc, char** argv) {
    const std::vector<int> portCounts = ParsePorts(argc, argv);
    TempDir dir;
    const auto firmware = dir / "firmware.bin";
    const auto text = dir / "image.txt";
    WriteBinary(firmware, TestFirmware(comflash::kMaxImageLength, 7));
    ChildProcess pack(comflash::testing::TestPath("COMFLASH_PACK_PATH"),
                      {"encode", firmware.string(), text.string()}, dir.Path(), "pack");
    if (pack.Wait(Millis(60000)) != 0) {
        std::fprintf(stderr, "update-bench: comflash-pack failed: %s\n", pack.Stderr().c_str());
        return 1;
    }

    const double floorMs = UpdateFloorMs(comflash::kMaxImageLength);
    const double quickFloorMs = QuickUpdateFloorMs(comflash::kMaxImageLength);
    std::printf("image %zu bytes at %.0f baud\n", comflash::kMaxImageLength,
                comflash::testing::kUpdateBaud);
    const std::vector<Row> described =
        RunMode(dir, Turnaround::Described, portCounts, floorMs, firmware.string(), text.string());
    const std::vector<Row> quick =
        RunMode(dir, Turnaround::Quick, portCounts, quickFloorMs, firmware.string(), text.string());

    // The README's tables, and the targets they state.
    std::printf(
        "\n| ports at once | wall time | slowest device | device vs floor | all vs one port "
        "| CPU of comflash-cli per device |\n|---|---|---|---|---|---|\n");
    for (const Row& row : described) {
        std::printf("| %d | %.1f s | %.2f s | %.3f | %.3f | %.1f ms |\n", row.ports,
                    row.run.wallMs / 1000, row.slowest / 1000, row.slowest / floorMs,
                    row.run.wallMs / described.front().run.wallMs, row.run.cpuMsPerDevice);
    }
    std::printf(
        "\n| ports at once, quick turnaround | wall time | slowest device | device vs wire floor "
        "| all vs one port | speed-up over described | CPU of comflash-cli per device "
        "|\n|---|---|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < quick.size(); ++i) {
        const Row& row = quick[i];
        std::printf("| %d | %.1f s | %.2f s | %.3f | %.3f | %.2f | %.1f ms |\n", row.ports,
                    row.run.wallMs / 1000, row.slowest / 1000, row.slowest / quickFloorMs,
                    row.run.wallMs / quick.front().run.wallMs, described[i].slowest / row.slowest,
                    row.run.cpuMsPerDevice);
    }
    std::printf("\n");
    const bool describedMet = CheckTargets(Turnaround::Described, described, floorMs);
    const bool quickMet = CheckTargets(Turnaround::Quick, quick, quickFloorMs);
    const bool ok = describedMet && quickMet;
    std::printf("%s\n", ok ? "all targets met" : "some targets missed");
    return ok ? 0 : 1;
}
