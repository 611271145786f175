#include "tools/sim/simulator.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace comflash::sim {
namespace {

// A master with nobody on the slave reports a hang-up at once, so it cannot
// be waited on: while the host has the line closed, look again this often.
constexpr Millis kClosedLinePollInterval{20};
constexpr std::size_t kReadSize = 4096;

SessionSettings SettingsFrom(const SimOptions& options) {
    SessionSettings settings;
    settings.updateBaud = options.updateBaud;
    settings.helloInterval = options.helloInterval;
    settings.helloOnce = options.helloOnce;
    settings.quietEnd = options.quietEnd;
    settings.hostTimeout = options.hostTimeout;
    settings.splitGap = options.splitGap;
    settings.deviceDelay = options.deviceDelay;
    settings.frameTimeout = options.frameTimeout;
    settings.wire = options.wire;
    return settings;
}

timespec TimeoutUntil(TimePoint deadline, TimePoint now) {
    const auto left = std::max(deadline - now, Clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
    return {static_cast<std::time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

}  // namespace

Simulator::Simulator(const SimOptions& options, SimLine& line, FaultPlan plan,
                     std::optional<std::vector<std::uint8_t>> expected, ReportFile* report,
                     const Trace& trace, const StopSignals& stop, std::FILE* paths)
    : options_(options),
      settings_(SettingsFrom(options)),
      line_(line),
      plan_(std::move(plan)),
      expected_(std::move(expected)),
      report_(report),
      trace_(trace),
      stop_(stop),
      paths_(paths) {}

SeriesResult Simulator::Run() {
    SeriesResult result;
    AnnouncePath();
    // The operator's switch: a host that needs time before it listens (a
    // tool in a virtual machine whose adapter is still being enumerated) is
    // given it by whoever creates the file.
    if (options_.powerUpWhen) {
        std::error_code unused;
        while (!stop_.Requested() && !std::filesystem::exists(*options_.powerUpWhen, unused))
            PumpOnce(nullptr, Clock::now() + kClosedLinePollInterval);
    }
    TimePoint powerUpAt = Clock::now();
    for (unsigned number = 1; options_.devices == 0 || number <= options_.devices; ++number) {
        currentDevice_ = 0;
        while (!stop_.Requested() && Clock::now() < powerUpAt)
            PumpOnce(nullptr, powerUpAt);
        if (stop_.Requested())
            break;

        currentDevice_ = number;
        const Fault fault = plan_.For(number);
        DeviceSession session(number, options_.VersionOf(number), fault, settings_, line_, trace_,
                              Clock::now());
        if (const auto held = options_.deviceSerials.find(number);
            held != options_.deviceSerials.end()) {
            session.HoldSerialNumber(held->second);
        }
        if (carried_) {
            session.Restore(*carried_);
            carried_.reset();
            trace_.Event(number, "is the previous device again");
        }
        trace_.Event(number, "powers up: version " + std::to_string(options_.VersionOf(number)) +
                                 ", fault " + FaultName(fault));
        while (!stop_.Requested() && !session.Done())
            PumpOnce(&session, std::nullopt);

        const TimePoint now = Clock::now();
        if (!session.Done()) {
            session.Interrupt(now);
            // A device nobody talked to has nothing to report.
            if (!session.HadActivity())
                break;
        }
        const DeviceReport report = session.Report(expected_);
        ++result.devices;
        if (AsExpected(report))
            ++result.asExpected;
        if (report_ != nullptr)
            report_->Write(report);
        trace_.Event(number, "done: " + OutcomeOf(report) +
                                 (AsExpected(report) ? " (as expected)" : " (NOT as expected)"));

        if (session.ReturnsAsNext())
            carried_ = session.Memory();
        if (session.Vanished()) {
            line_.Vanish();
            hostHadOpen_ = false;
            returnAt_ = now + options_.returnDelay;
            trace_.Event(number, "the line vanishes");
        }
        powerUpAt = std::max(now + options_.powerUpDelay, session.HoldUntil().value_or(now));
        if (stop_.Requested())
            break;
    }
    return result;
}

void Simulator::AnnouncePath() {
    std::fprintf(paths_, "%s\n", line_.Path().c_str());
    std::fflush(paths_);
}

void Simulator::PumpOnce(DeviceSession* session, std::optional<TimePoint> wakeBy) {
    TimePoint now = Clock::now();
    if (returnAt_ && now >= *returnAt_) {
        line_.Return();
        returnAt_.reset();
        trace_.Event(currentDevice_, "the line returns at " + line_.Path());
        AnnouncePath();
    }
    const bool open = line_.HostHasOpen();
    NoteLineState(open, now);
    if (session != nullptr) {
        session->OnLine(open, now);
        session->OnTime(now);
        if (session->Done())
            return;
    }

    std::optional<TimePoint> deadline = Earliest(wakeBy, returnAt_);
    if (session != nullptr)
        deadline = Earliest(deadline, session->NextDeadline(now));
    const int fd = line_.Fd();
    const bool waitForBytes = open && fd >= 0;
    if (!waitForBytes)
        deadline = Earliest(deadline, now + kClosedLinePollInterval);

    NoteHostSpeed(line_.HostBaud());
    pollfd entry{fd, POLLIN, 0};
    timespec timeout{};
    if (deadline)
        timeout = TimeoutUntil(*deadline, now);
    const int ready =
        ppoll(&entry, waitForBytes ? 1 : 0, deadline ? &timeout : nullptr, stop_.WaitMask());
    if (ready > 0 && (entry.revents & POLLIN) != 0)
        ReadAvailable(session);
}

void Simulator::ReadAvailable(DeviceSession* session) {
    std::array<std::uint8_t, kReadSize> buffer;
    std::vector<std::uint8_t> bytes;
    while (true) {
        const std::size_t n = line_.Read(buffer);
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (bytes.empty())
        return;
    const auto speedNow = line_.HostBaud();
    NoteHostSpeed(speedNow);
    SpeedWindow speeds = speedsSinceRead_;
    speeds.Note(speedNow);
    // Whatever comes next was written after this read emptied the line.
    speedsSinceRead_ = {};
    speedsSinceRead_.Note(speedNow);

    if (session == nullptr) {
        trace_.Frame(0, Direction::FromHost, bytes, speedNow, "lost: no device is powered up");
        return;
    }
    session->OnBytes(bytes, speeds, Clock::now());
}

void Simulator::NoteHostSpeed(std::optional<int> baud) {
    speedsSinceRead_.Note(baud);
    if (baud == hostBaud_)
        return;
    hostBaud_ = baud;
    if (baud)
        trace_.Event(currentDevice_, "the host's end is at " + std::to_string(*baud) + " baud");
}

void Simulator::NoteLineState(bool open, TimePoint) {
    if (open == hostHadOpen_)
        return;
    hostHadOpen_ = open;
    // Speeds from before the host opened its port carried none of its bytes.
    speedsSinceRead_ = {};
    trace_.Event(currentDevice_, open ? "the host opens the line" : "the host closes the line");
}

}  // namespace comflash::sim
