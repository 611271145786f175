// How close an update comes to the floor that the protocol itself sets, and
// how well several ports run side by side. Runs the real comflash-cli against
// comflash-sim --wire, which holds every reply for the time its bytes would
// take on a real line.
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

namespace {

using comflash::testing::ChildProcess;
using comflash::testing::Lines;
using comflash::testing::ReadWholeFile;
using comflash::testing::UpdateFloorMs;
using namespace comflash::simtest;
using Millis = std::chrono::milliseconds;

// What the tool must reach: one device within 3 % of what the protocol itself
// costs, and many ports side by side within 5 % of one port alone.
constexpr double kDeviceVsFloorTarget = 1.03;
constexpr double kPortsVsOneTarget = 1.05;

struct Run {
    double wallMs = 0;
    std::vector<double> durationsMs;
    double cpuMsPerDevice = 0;
    bool allUpdated = true;
};

// N simulators with one device each, and one comflash-cli on all N ports.
Run UpdateOnPorts(const TempDir& dir, int ports, const std::string& firmware,
                  const std::string& text) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> arguments = {
        "--image-text", text,
        "--devices",    "1",
        "--record",     (dir / ("record" + std::to_string(ports))).string()};
    for (int n = 0; n < ports; ++n) {
        const auto name = "p" + std::to_string(ports) + "-" + std::to_string(n);
        sims.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{"--wire", "--devices", "1", "--expect", firmware, "--report",
                                     (dir / (name + ".report")).string()},
            dir / (name + ".err")));
        arguments.push_back("--port");
        arguments.push_back(sims.back()->NextPath());
    }
    const auto start = std::chrono::steady_clock::now();
    ChildProcess cli(COMFLASH_CLI_PATH, arguments, dir.Path(), "cli" + std::to_string(ports));
    const int status = cli.Wait(Millis(600000));
    Run run;
    run.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.cpuMsPerDevice = std::chrono::duration<double, std::milli>(cli.CpuTime()).count() / ports;
    run.allUpdated = status == 0;
    for (const auto& line : Lines(ReadWholeFile(dir / ("record" + std::to_string(ports))))) {
        const Json record = Json::Parse(line);
        run.durationsMs.push_back(static_cast<double>(record["duration_ms"].Int()));
        run.allUpdated = run.allUpdated && record["result"].String() == "updated";
    }
    for (int n = 0; n < ports; ++n) {
        const auto name = "p" + std::to_string(ports) + "-" + std::to_string(n);
        const auto devices = AwaitReport(dir / (name + ".report"), 1);
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

int main(int argc, char** argv) {
    const std::vector<int> portCounts = ParsePorts(argc, argv);
    TempDir dir;
    const auto firmware = dir / "firmware.bin";
    const auto text = dir / "image.txt";
    WriteBinary(firmware, TestFirmware(comflash::kMaxImageLength, 7));
    ChildProcess pack(COMFLASH_PACK_PATH, {"encode", firmware.string(), text.string()}, dir.Path(),
                      "pack");
    if (pack.Wait(Millis(60000)) != 0) {
        std::fprintf(stderr, "update-bench: comflash-pack failed: %s\n", pack.Stderr().c_str());
        return 1;
    }

    const double floorMs = UpdateFloorMs(comflash::kMaxImageLength);
    std::printf("image %zu bytes at %.0f baud, protocol floor %.0f ms per device\n",
                comflash::kMaxImageLength, comflash::testing::kUpdateBaud, floorMs);
    std::printf("%6s %12s %14s %12s %16s %10s\n", "ports", "wall ms", "device ms", "vs floor",
                "vs one port", "cpu ms/dev");
    struct Row {
        int ports;
        Run run;
        double slowest;
    };
    std::vector<Row> rows;
    double oneAlone = 0;
    bool ok = true;
    for (int ports : portCounts) {
        const Run run = UpdateOnPorts(dir, ports, firmware.string(), text.string());
        double slowest = 0;
        for (double d : run.durationsMs)
            slowest = std::max(slowest, d);
        if (oneAlone == 0)
            oneAlone = run.wallMs;
        std::printf("%6d %12.0f %14.0f %12.4f %16.4f %10.1f%s\n", ports, run.wallMs, slowest,
                    slowest / floorMs, run.wallMs / oneAlone, run.cpuMsPerDevice,
                    run.allUpdated ? "" : "  (a device failed!)");
        ok = ok && run.allUpdated;
        rows.push_back({ports, run, slowest});
    }

    // The README's table, and the targets it states.
    std::printf(
        "\n| ports at once | wall time | slowest device | device vs floor | all vs one port "
        "| CPU of comflash-cli per device |\n|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        std::printf("| %d | %.1f s | %.2f s | %.3f | %.3f | %.1f ms |\n", row.ports,
                    row.run.wallMs / 1000, row.slowest / 1000, row.slowest / floorMs,
                    row.run.wallMs / oneAlone, row.run.cpuMsPerDevice);
    }
    for (const Row& row : rows) {
        const bool deviceMet = row.slowest / floorMs < kDeviceVsFloorTarget;
        const bool portsMet = row.run.wallMs / oneAlone < kPortsVsOneTarget;
        std::printf("%d port(s): device vs floor below %.2f %s; all vs one port below %.2f %s\n",
                    row.ports, kDeviceVsFloorTarget, deviceMet ? "met" : "MISSED",
                    kPortsVsOneTarget, portsMet ? "met" : "MISSED");
        ok = ok && deviceMet && portsMet;
    }
    std::printf("%s\n", ok ? "all targets met" : "some targets missed");
    return ok ? 0 : 1;
}
