// One simulated device from power-up to done: when it announces itself, which
// frames it hears at which speed, when and how its replies leave, and where
// its fault comes in. What it stores and answers is SimDevice's.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/sim/device_model.h"
#include "tools/sim/device_report.h"
#include "tools/sim/fault_plan.h"
#include "tools/sim/frame_stream.h"
#include "tools/sim/line_speed.h"
#include "tools/sim/sim_line.h"
#include "tools/sim/timeline.h"
#include "tools/sim/trace.h"

namespace comflash::sim {

struct SessionSettings {
    int updateBaud = kDefaultUpdateBaud;
    Millis helloInterval{1000};
    std::optional<Millis> helloOnce;  // one hello, then give up after this long
    Millis quietEnd{2000};
    Millis hostTimeout{17000};
    Millis splitGap{100};
    Millis deviceDelay{0};
    Millis frameTimeout = FrameStream::kDefaultPartialFrameTimeout;
    bool wire = false;
};

class DeviceSession {
public:
    DeviceSession(unsigned number, std::uint8_t version, const Fault& fault,
                  const SessionSettings& settings, SimLine& line, const Trace& trace,
                  TimePoint now);

    // Before the device powers up: the memory of the device it is again, or
    // the serial number it was provisioned with before.
    void Restore(const DeviceMemory& memory) { device_.Restore(memory); }
    void HoldSerialNumber(std::string_view number) { device_.HoldSerialNumber(number); }

    // The simulator's loop feeds these.
    void OnLine(bool hostHasOpen, TimePoint now);
    void OnBytes(std::span<const std::uint8_t> bytes, SpeedWindow speed, TimePoint now);
    void OnTime(TimePoint now);
    std::optional<TimePoint> NextDeadline(TimePoint now) const;

    bool Done() const { return end_.has_value(); }
    bool Vanished() const { return end_ == DeviceEnd::Vanished; }
    // The next device is this one again (it stored its record unanswered).
    bool ReturnsAsNext() const {
        return fault_.kind == FaultKind::ReturnsAfter && steps_.faultPlayed;
    }
    DeviceMemory Memory() const { return device_.Memory(); }
    // The next device must not power up before this: the host may still be
    // waiting for a reply this device withheld.
    std::optional<TimePoint> HoldUntil() const;
    // Whether anything happened that the report should show.
    bool HadActivity() const;
    void Interrupt(TimePoint now) { End(DeviceEnd::Interrupted, now); }

    DeviceReport Report(const std::optional<std::vector<std::uint8_t>>& expected) const;

private:
    enum class Phase { WaitingForLine, Announcing, Serving };
    enum class Outgoing { Hello, Reply, Noise };

    void StartAnnouncing(TimePoint now);
    void SendHello(TimePoint now);
    void OnFrame(const ReceivedFrame& frame, TimePoint now);
    void TakeHandshake(const ReceivedFrame& frame, TimePoint now);
    void HandleRequest(const ReceivedFrame& frame, TimePoint now);
    void ScheduleReply(const ReceivedFrame& request, std::vector<std::uint8_t> reply, bool split,
                       Millis late = Millis{0});
    void Send(std::vector<std::uint8_t> bytes, Outgoing kind, TimePoint now);
    void SendNoise(TimePoint now);
    std::vector<std::uint8_t> NoiseBytes();
    void IgnoreForSpeed(const ReceivedFrame& frame, int expectedBaud);
    void End(DeviceEnd end, TimePoint now);

    unsigned number_;
    std::uint8_t version_;
    Fault fault_;
    SessionSettings settings_;
    SimLine& line_;
    const Trace& trace_;
    std::string port_;

    DeviceSteps steps_;
    SimDevice device_;
    FrameStream stream_;
    Timeline timeline_;

    Phase phase_ = Phase::WaitingForLine;
    bool lineOpen_ = false;
    TimePoint lineOpenSince_{};
    std::optional<TimePoint> helloDue_;
    bool badHelloSent_ = false;
    bool updateSpeedSeen_ = false;
    bool quietArmed_ = false;
    TimePoint lastActivity_{};
    TimePoint nextWriteFree_{};
    unsigned repliesScheduled_ = 0;
    unsigned framesHeard_ = 0;
    std::uint64_t noiseState_;
    std::optional<TimePoint> heldAt_;

    std::optional<DeviceEnd> end_;
    TimePoint startedAt_;
    TimePoint endedAt_{};
    std::chrono::system_clock::time_point startedAtWall_;
    std::chrono::system_clock::time_point endedAtWall_{};
};

}  // namespace comflash::sim
