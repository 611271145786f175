#include "tools/sim/device_session.h"

#include <algorithm>
#include <string>

#include "tools/sim/device_link.h"
#include "tools/sim/line_speed.h"

namespace comflash::sim {
namespace {

// The host reads in chunks closed by 30 ms of silence: anything meant to
// reach it as a chunk of its own keeps further apart than that.
constexpr Millis kDoubleHelloGap{40};
constexpr Millis kNoiseLead{50};
constexpr Millis kNoiseAfterReply{45};
constexpr unsigned kRepliesPerNoiseBurst = 4;
// While the host has the line open at another speed, look again this often
// for it to reach 9600.
constexpr Millis kSpeedPollInterval{10};
constexpr std::uint8_t kVersionDigitBase = '0';
// A late reply comes this long after the host's time-out has run out.
constexpr Millis kLateReplyMargin{500};

std::vector<std::uint8_t> HelloFrame(std::optional<std::uint8_t> versionDigit) {
    std::vector<std::uint8_t> payload = {link::kHelloMarker};
    if (versionDigit)
        payload.push_back(*versionDigit);
    return link::EncodeFrame(link::kHello, payload);
}

std::uint8_t AnnouncedVersion(const Fault& fault, std::uint8_t version) {
    switch (fault.kind) {
        case FaultKind::HelloNoDigit:
        case FaultKind::HelloVersion0:
            return 0;
        case FaultKind::HelloL3:
            return fault.helloVersion;
        default:
            return version;
    }
}

// What a receiver at the wrong speed makes of the bytes: as many, none of
// them a sync byte, so they can never pass for a frame.
std::vector<std::uint8_t> Garbled(std::vector<std::uint8_t> bytes) {
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(byte * 167 + 0x35);
        if (byte == link::kSync)
            byte = 0x2B;
    }
    return bytes;
}

// In microseconds: whole milliseconds would add up to 2 ms to every reply.
std::chrono::microseconds TransmissionTime(std::size_t bytes, int baud) {
    constexpr long long kBitsPerByte = 10;  // start, 8 data, stop
    return std::chrono::microseconds(
        (static_cast<long long>(bytes) * kBitsPerByte * 1000000 + baud - 1) / baud);
}

std::optional<FaultStep> FaultStepOf(RequestKind kind) {
    switch (kind) {
        case RequestKind::Identity:
            return FaultStep::Identity;
        case RequestKind::EepromInit:
            return FaultStep::Init;
        case RequestKind::Block:
            return FaultStep::Block;
        case RequestKind::Checksum:
            return FaultStep::Checksum;
        case RequestKind::SerialRecord:
            return FaultStep::Serial;
        default:
            return std::nullopt;
    }
}

// Faults that change what the device answers rather than how it leaves.
bool ChangesTheAnswer(FaultKind kind) {
    return kind == FaultKind::InitRefused || kind == FaultKind::BlockRefused ||
           kind == FaultKind::WrongChecksum || kind == FaultKind::SerialRefused;
}

// The serial-number record request with the last character of its text changed.
std::vector<std::uint8_t> AlteredRecord(std::uint8_t commandByte,
                                        std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> altered(payload.begin(), payload.end());
    std::size_t last = altered.size() - 1;
    if (altered[last] == '#' && last > 0)
        --last;
    altered[last] = altered[last] == '9' ? '8' : '9';
    return link::EncodeFrame(commandByte, altered);
}

}  // namespace

DeviceSession::DeviceSession(unsigned number, std::uint8_t version, const Fault& fault,
                             const SessionSettings& settings, SimLine& line, const Trace& trace,
                             TimePoint now)
    : number_(number),
      version_(AnnouncedVersion(fault, version)),
      fault_(fault),
      settings_(settings),
      line_(line),
      trace_(trace),
      port_(line.Path()),
      device_(number, version_, steps_),
      stream_(settings.frameTimeout),
      noiseState_(0x6A09E667F3BCC909ULL ^ number),
      startedAt_(now),
      startedAtWall_(std::chrono::system_clock::now()) {}

void DeviceSession::OnLine(bool hostHasOpen, TimePoint now) {
    if (hostHasOpen && !lineOpen_)
        lineOpenSince_ = now;
    lineOpen_ = hostHasOpen;
    // A device that is still announcing starts over once the host is back.
    if (!hostHasOpen && phase_ == Phase::Announcing && !badHelloSent_) {
        phase_ = Phase::WaitingForLine;
        helloDue_.reset();
    }
}

void DeviceSession::OnBytes(std::span<const std::uint8_t> bytes, SpeedWindow speed, TimePoint now) {
    stream_.Feed(bytes, speed, now);
    while (!Done()) {
        const auto frame = stream_.Next(now);
        if (!frame)
            break;
        OnFrame(*frame, now);
    }
    steps_.badFrames = stream_.BadChecks();
    if (!bytes.empty() && stream_.Held() > 0 && !Done()) {
        trace_.Event(number_,
                     "holds " + std::to_string(stream_.Held()) + " bytes of a frame not yet whole");
    }
}

void DeviceSession::OnTime(TimePoint now) {
    if (Done())
        return;
    timeline_.RunDue(now);
    if (Done())
        return;

    if (phase_ == Phase::WaitingForLine && lineOpen_) {
        // The host opens its port and then sets 9600; a host that stays at
        // another speed gets hellos all the same, garbled as on a real line.
        const auto hostBaud = line_.HostBaud();
        if (!hostBaud || *hostBaud == kBaseBaud ||
            now - lineOpenSince_ >= settings_.helloInterval) {
            StartAnnouncing(now);
        }
    }
    if (phase_ == Phase::Announcing && helloDue_ && now >= *helloDue_)
        SendHello(now);

    OnBytes({}, {}, now);  // a half frame may have gone stale
    if (Done())
        return;

    if (quietArmed_ && !timeline_.Next() && now - lastActivity_ >= settings_.quietEnd) {
        trace_.Event(number_, "no frame from the host for --quiet-end: done");
        End(DeviceEnd::Quiet, now);
    }
}

std::optional<TimePoint> DeviceSession::NextDeadline(TimePoint now) const {
    if (Done())
        return std::nullopt;
    std::optional<TimePoint> next = Earliest(timeline_.Next(), stream_.PartialDeadline());
    if (phase_ == Phase::WaitingForLine && lineOpen_)
        next = Earliest(next, now + kSpeedPollInterval);
    if (phase_ == Phase::Announcing)
        next = Earliest(next, helloDue_);
    if (quietArmed_ && !timeline_.Next())
        next = Earliest(next, lastActivity_ + settings_.quietEnd);
    return next;
}

std::optional<TimePoint> DeviceSession::HoldUntil() const {
    if (!heldAt_)
        return std::nullopt;
    return *heldAt_ + settings_.hostTimeout;
}

bool DeviceSession::HadActivity() const {
    // Hellos and noise into a line nobody answers are no activity; a host on
    // the line at the wrong speed is.
    return framesHeard_ > 0 || steps_.badFrames > 0 || steps_.garbledHellos > 0 ||
           steps_.garbledReplies > 0;
}

DeviceReport DeviceSession::Report(const std::optional<std::vector<std::uint8_t>>& expected) const {
    DeviceReport report;
    report.device = number_;
    report.port = port_;
    report.version = version_;
    report.fault = fault_;
    report.steps = steps_;
    if (expected) {
        const auto flash = device_.Flash();
        report.imageEqual = expected->size() <= flash.size() &&
                            std::equal(expected->begin(), expected->end(), flash.begin());
    }
    report.end = end_.value_or(DeviceEnd::Interrupted);
    report.startedAt = startedAtWall_;
    report.endedAt = endedAtWall_;
    report.duration = std::chrono::duration_cast<Millis>(endedAt_ - startedAt_);
    return report;
}

void DeviceSession::StartAnnouncing(TimePoint now) {
    phase_ = Phase::Announcing;
    line_.ListenAt(kBaseBaud);
    helloDue_ = now;
    if (fault_.NoiseBursts()) {
        SendNoise(now);
        helloDue_ = now + kNoiseLead;
    }
}

void DeviceSession::SendHello(TimePoint now) {
    if (fault_.IsBadHello()) {
        // The host refuses such a hello and will not answer a repeat either:
        // the device says it once and then waits for --quiet-end.
        const std::optional<std::uint8_t> digit =
            fault_.kind == FaultKind::HelloNoDigit
                ? std::nullopt
                : std::optional<std::uint8_t>(kVersionDigitBase + version_);
        steps_.faultPlayed = true;
        badHelloSent_ = true;
        quietArmed_ = true;
        helloDue_.reset();
        Send(HelloFrame(digit), Outgoing::Hello, now);
        return;
    }
    const auto hello = HelloFrame(kVersionDigitBase + version_);
    Send(hello, Outgoing::Hello, now);
    if (fault_.kind == FaultKind::DoubleHello && !steps_.faultPlayed) {
        steps_.faultPlayed = true;
        // Sent whether or not the first one was answered in between.
        timeline_.At(now + kDoubleHelloGap,
                     [this, hello](TimePoint at) { Send(hello, Outgoing::Hello, at); });
    }
    if (!settings_.helloOnce) {
        helloDue_ = now + settings_.helloInterval;
        return;
    }
    // One hello only: unanswered within its window, the device starts its
    // application and is gone for the host.
    helloDue_.reset();
    timeline_.At(now + *settings_.helloOnce, [this](TimePoint at) {
        if (phase_ != Phase::Announcing)
            return;
        trace_.Event(number_, "no answer to the one hello: gave up");
        End(DeviceEnd::Quiet, at);
    });
}

void DeviceSession::OnFrame(const ReceivedFrame& frame, TimePoint now) {
    ++framesHeard_;
    lastActivity_ = now;
    const bool handshakeAtBase =
        frame.command == link::kHandshake &&
        (phase_ == Phase::Announcing || (phase_ == Phase::Serving && !updateSpeedSeen_));
    if (handshakeAtBase) {
        if (!frame.CameAt(kBaseBaud))
            return IgnoreForSpeed(frame, kBaseBaud);
        return TakeHandshake(frame, now);
    }
    if (phase_ != Phase::Serving) {
        if (!frame.CameAt(kBaseBaud))
            return IgnoreForSpeed(frame, kBaseBaud);
        trace_.Frame(number_, Direction::FromHost, frame.bytes, kBaseBaud,
                     "ignored: the device has not been answered yet");
        ++steps_.otherFrames;
        return;
    }
    if (!frame.CameAt(settings_.updateBaud))
        return IgnoreForSpeed(frame, settings_.updateBaud);
    updateSpeedSeen_ = true;
    HandleRequest(frame, now);
}

void DeviceSession::TakeHandshake(const ReceivedFrame& frame, TimePoint now) {
    trace_.Frame(number_, Direction::FromHost, frame.bytes, kBaseBaud);
    device_.TakeHandshake(frame.Payload());
    if (phase_ != Phase::Serving) {
        phase_ = Phase::Serving;
        helloDue_.reset();
        line_.ListenAt(settings_.updateBaud);
        trace_.Event(number_, "answered: listens at " + std::to_string(settings_.updateBaud) +
                                  " baud from now on");
    }
    quietArmed_ = true;
    lastActivity_ = now;
}

void DeviceSession::HandleRequest(const ReceivedFrame& frame, TimePoint now) {
    trace_.Frame(number_, Direction::FromHost, frame.bytes, settings_.updateBaud);
    const auto payload = frame.Payload();
    const Request request = ClassifyRequest(frame.command, payload);
    const auto step = FaultStepOf(request.kind);
    const bool faultHere = !steps_.faultPlayed && step && fault_.TriggersAt(*step, request.address);
    if (steps_.faultPlayed && request.kind == RequestKind::Block)
        ++steps_.blocksAfterFault;
    if (faultHere) {
        steps_.faultPlayed = true;
        if (fault_.LeavesHostWaiting())
            heldAt_ = now;
        trace_.Event(number_, "plays its fault " + FaultName(fault_));
    }
    if (faultHere && fault_.kind == FaultKind::Vanish)
        return End(DeviceEnd::Vanished, now);

    // A request that goes unanswered never reached the device: it stores
    // nothing, so the host may send the same record to the next device.
    if (faultHere && fault_.kind == FaultKind::NoReply) {
        trace_.Event(number_, "the request is lost: no usable reply");
        return;
    }
    // What the device stores differs from what it was sent, and it says
    // nothing of it: its last character is changed on the way in.
    std::vector<std::uint8_t> received = frame.bytes;
    if (faultHere && fault_.kind == FaultKind::WrongRecord)
        received = AlteredRecord(frame.command, payload);
    auto reply = device_.Answer(received, faultHere && ChangesTheAnswer(fault_.kind));
    if (request.kind == RequestKind::Finish)
        return End(DeviceEnd::Finished, now);
    if (!reply)
        return;
    // Carried out, and the host never hears so: the device holds what it was
    // sent (a serial number, say) although the host has no way to know.
    if (faultHere &&
        (fault_.kind == FaultKind::StoredNoReply || fault_.kind == FaultKind::ReturnsAfter)) {
        trace_.Event(number_, "carried out; no usable reply: the reply is never sent");
        return;
    }
    const Millis late = faultHere && fault_.kind == FaultKind::LateReply
                            ? settings_.hostTimeout + kLateReplyMargin
                            : Millis{0};
    if (faultHere && fault_.kind == FaultKind::LateReply)
        trace_.Event(number_, "no usable reply: it leaves after the host's time-out");
    ScheduleReply(frame, std::move(*reply), faultHere && fault_.kind == FaultKind::SplitReply,
                  late);
}

void DeviceSession::ScheduleReply(const ReceivedFrame& request, std::vector<std::uint8_t> reply,
                                  bool split, Millis late) {
    if (fault_.NoisePrefix()) {
        auto noise = NoiseBytes();
        reply.insert(reply.begin(), noise.begin(), noise.end());
        steps_.faultPlayed = true;
    }
    TimePoint at = request.arrivedAt + settings_.deviceDelay + late;
    if (settings_.wire) {
        // The pseudo-terminal delivers at once; a wire takes this long for
        // the request to arrive and the reply to leave.
        at += TransmissionTime(request.bytes.size(), settings_.updateBaud) +
              TransmissionTime(reply.size(), settings_.updateBaud);
    }
    at = std::max(at, nextWriteFree_);  // one reply after the other, never overtaking
    nextWriteFree_ = at;

    if (split) {
        const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
        std::vector<std::uint8_t> rest(reply.begin() + half, reply.end());
        reply.resize(static_cast<std::size_t>(half));
        timeline_.At(at, [this, first = std::move(reply)](TimePoint now) {
            Send(first, Outgoing::Reply, now);
        });
        nextWriteFree_ = at + settings_.splitGap;
        timeline_.At(nextWriteFree_, [this, rest = std::move(rest)](TimePoint now) {
            Send(rest, Outgoing::Reply, now);
            trace_.Event(number_, "no usable reply: it left in two pieces, neither a frame");
        });
    } else {
        timeline_.At(at, [this, whole = std::move(reply)](TimePoint now) {
            Send(whole, Outgoing::Reply, now);
        });
    }
    if (fault_.NoiseBursts() && ++repliesScheduled_ % kRepliesPerNoiseBurst == 0) {
        timeline_.At(nextWriteFree_ + kNoiseAfterReply, [this](TimePoint now) { SendNoise(now); });
    }
}

void DeviceSession::Send(std::vector<std::uint8_t> bytes, Outgoing kind, TimePoint now) {
    lastActivity_ = now;
    const int baud = kind == Outgoing::Hello ? kBaseBaud : settings_.updateBaud;
    if (!line_.HostHasOpen()) {
        trace_.Frame(number_, Direction::ToHost, bytes, baud, "lost: the host has the line closed");
        return;
    }
    if (kind == Outgoing::Hello)
        ++steps_.hellos;
    std::string note;
    const auto hostBaud = line_.HostBaud();
    if (kind != Outgoing::Noise && hostBaud && *hostBaud != baud) {
        bytes = Garbled(std::move(bytes));
        ++(kind == Outgoing::Hello ? steps_.garbledHellos : steps_.garbledReplies);
        note = "garbled: the host listens at " + std::to_string(*hostBaud);
    }
    const std::size_t written = line_.Write(bytes);
    if (written < bytes.size()) {
        note += (note.empty() ? "" : "; ") + std::string("the host took only ") +
                std::to_string(written) + " bytes";
    }
    trace_.Frame(number_, Direction::ToHost, bytes, baud, note);
}

void DeviceSession::SendNoise(TimePoint now) {
    steps_.faultPlayed = true;
    Send(NoiseBytes(), Outgoing::Noise, now);
}

std::vector<std::uint8_t> DeviceSession::NoiseBytes() {
    // Noise never holds 0xAB: a stray sync byte ahead of a frame would make
    // the host take the wrong sync pair and miss the frame.
    auto next = [this] {
        noiseState_ = noiseState_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint8_t>(noiseState_ >> 56);
    };
    std::vector<std::uint8_t> noise(3 + next() % 10);
    for (auto& byte : noise) {
        byte = next();
        if (byte == link::kSync)
            byte = 0x55;
    }
    return noise;
}

void DeviceSession::IgnoreForSpeed(const ReceivedFrame& frame, int expectedBaud) {
    ++steps_.wrongSpeedFrames;
    trace_.Frame(number_, Direction::FromHost, frame.bytes, frame.speeds.back().Last(),
                 "ignored: the device listens at " + std::to_string(expectedBaud));
}

void DeviceSession::End(DeviceEnd end, TimePoint now) {
    if (end_)
        return;
    end_ = end;
    endedAt_ = now;
    endedAtWall_ = std::chrono::system_clock::now();
    timeline_.Clear();
}

}  // namespace comflash::sim
