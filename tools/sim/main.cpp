// comflash-sim: simulated devices on a pseudo-terminal, for the end-to-end
// tests, the benchmarks and anyone without hardware.
#include <cstdio>
#include <random>
#include <string_view>
#include <vector>

#include "frontend/version_text.h"
#include "image/firmware_file.h"
#include "protocol/firmware_image.h"
#include "tools/sim/device_report.h"
#include "tools/sim/fault_plan.h"
#include "tools/sim/sim_line.h"
#include "tools/sim/sim_options.h"
#include "tools/sim/simulator.h"
#include "tools/sim/stop_signals.h"
#include "tools/sim/trace.h"

namespace comflash::sim {
namespace {

constexpr int kExitAllAsExpected = 0;
constexpr int kExitNotAsExpected = 1;
constexpr int kExitUsage = 2;

std::optional<std::vector<std::uint8_t>> LoadExpectedImage(const SimOptions& options) {
    if (!options.expect)
        return std::nullopt;
    std::vector<std::uint8_t> image = ReadFirmwareFile(*options.expect);
    if (image.empty()) {
        throw FirmwareFileError(options.expect->string() + ": holds no firmware bytes");
    }
    if (image.size() > kMaxImageLength) {
        throw FirmwareFileError(options.expect->string() + ": " + std::to_string(image.size()) +
                                " bytes, but the host sends at most " +
                                std::to_string(kMaxImageLength));
    }
    return image;
}

FaultPlan MakePlan(const SimOptions& options, std::size_t imageLength) {
    if (!options.randomFaults)
        return FaultPlan(options.faults, std::nullopt);
    RandomFaults random;
    if (options.seed) {
        random.seed = *options.seed;
    } else {
        random.seed = std::random_device{}();
        // Without it the run could not be played again.
        std::fprintf(stderr, "comflash-sim: random faults with --seed %llu\n",
                     static_cast<unsigned long long>(random.seed));
    }
    random.rate = options.faultRate;
    random.imageLength = static_cast<std::uint32_t>(imageLength);
    random.allowVanish = options.link.has_value();
    return FaultPlan(options.faults, random);
}

int ShowPlan(const SimOptions& options, const FaultPlan& plan) {
    for (unsigned device = 1; device <= options.devices; ++device) {
        std::printf("%u %s\n", device, FaultName(plan.For(device)).c_str());
    }
    return kExitAllAsExpected;
}

int Run(const SimOptions& options) {
    const auto expected = LoadExpectedImage(options);
    const FaultPlan plan = MakePlan(options, expected ? expected->size() : 0);
    if (options.showPlan)
        return ShowPlan(options, plan);

    std::optional<ReportFile> report;
    if (options.report)
        report.emplace(*options.report);
    StopSignals stop;
    const Trace trace(options.trace, Clock::now());
    const auto line = options.attach ? AttachLine(*options.attach) : OpenPtyLine(options.link);

    Simulator simulator(options, *line, plan, expected, report ? &*report : nullptr, trace, stop,
                        stdout);
    const SeriesResult result = simulator.Run();
    std::fprintf(stderr, "comflash-sim: %u device(s), %u as expected\n", result.devices,
                 result.asExpected);
    return result.asExpected == result.devices ? kExitAllAsExpected : kExitNotAsExpected;
}

}  // namespace
}  // namespace comflash::sim

int main(int argc, char** argv) {
    using namespace comflash::sim;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    SimOptions options;
    try {
        options = ParseSimOptions(arguments);
    } catch (const SimOptionError& error) {
        std::fprintf(stderr, "comflash-sim: %s (comflash-sim --help lists the options)\n",
                     error.what());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return kExitAllAsExpected;
    }
    if (options.showVersion) {
        std::fputs(comflash::VersionText("comflash-sim").c_str(), stdout);
        return kExitAllAsExpected;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        // A firmware file, report file or line that cannot be used.
        std::fprintf(stderr, "comflash-sim: %s\n", error.what());
        return kExitUsage;
    }
}
