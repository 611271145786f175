// The series of devices on one line: powers each up in turn, pumps the
// host's bytes to it, writes its report line and keeps the line itself
// (vanishing and returning) in one place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "tools/sim/device_report.h"
#include "tools/sim/device_session.h"
#include "tools/sim/fault_plan.h"
#include "tools/sim/line_speed.h"
#include "tools/sim/sim_line.h"
#include "tools/sim/sim_options.h"
#include "tools/sim/stop_signals.h"
#include "tools/sim/trace.h"

namespace comflash::sim {

struct SeriesResult {
    unsigned devices = 0;
    unsigned asExpected = 0;
};

class Simulator {
public:
    Simulator(const SimOptions& options, SimLine& line, FaultPlan plan,
              std::optional<std::vector<std::uint8_t>> expected, ReportFile* report,
              const Trace& trace, const StopSignals& stop, std::FILE* paths);

    SeriesResult Run();

private:
    void AnnouncePath();
    // One turn of the loop: line state, due actions, then a wait for host
    // bytes until the next deadline.
    void PumpOnce(DeviceSession* session, std::optional<TimePoint> wakeBy);
    void ReadAvailable(DeviceSession* session);
    void NoteLineState(bool open, TimePoint now);
    void NoteHostSpeed(std::optional<int> baud);

    const SimOptions& options_;
    SessionSettings settings_;
    SimLine& line_;
    FaultPlan plan_;
    std::optional<std::vector<std::uint8_t>> expected_;
    ReportFile* report_;
    const Trace& trace_;
    const StopSignals& stop_;
    std::FILE* paths_;

    unsigned currentDevice_ = 0;
    bool hostHadOpen_ = false;
    std::optional<TimePoint> returnAt_;
    std::optional<DeviceMemory> carried_;  // the next device is the last one again
    SpeedWindow speedsSinceRead_;
    std::optional<int> hostBaud_;
};

}  // namespace comflash::sim
