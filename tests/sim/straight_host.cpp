#include "straight_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <thread>

#include "protocol/block_encoding.h"
#include "protocol/crc16.h"
#include "protocol/host_commands.h"

namespace comflash::simtest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Millis kReadInterval{30};  // the host's read-interval time-out
constexpr Millis kHelloDelay{60};    // three Timer2 ticks, at most
constexpr Millis kRateRestore{90};   // five Timer2 ticks, 80 to 100 ms
constexpr int kBaseBaud = 9600;

speed_t SpeedConstant(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 38400:
            return B38400;
        case 115200:
            return B115200;
        default:
            throw std::invalid_argument("speed not used by the tests");
    }
}

int MillisLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Every checked frame in a chunk, in order; unlike the host's own receive
// handler this looks past the first, so a test sees two hellos that a busy
// machine delivered in one read.
void FindFrames(Chunk& chunk) {
    const Bytes& b = chunk.bytes;
    std::size_t p = 0;
    while (p + 6 <= b.size()) {
        if (b[p] != 0xAB || b[p + 1] != 0xAB) {
            ++p;
            continue;
        }
        const std::size_t length = std::size_t{b[p + 2]} << 8 | b[p + 3];
        const std::size_t size = length + 6;
        if (length == 0 || p + size > b.size()) {
            ++p;
            continue;
        }
        const std::uint16_t crc = Crc16Ccitt(std::span(b).subspan(p, size - 2));
        if (b[p + size - 2] != (crc >> 8) || b[p + size - 1] != (crc & 0xFF)) {
            ++p;
            continue;
        }
        HostFrame frame;
        frame.bytes.assign(b.begin() + static_cast<std::ptrdiff_t>(p),
                           b.begin() + static_cast<std::ptrdiff_t>(p + size));
        frame.command = b[p + 4];
        frame.payload.assign(frame.bytes.begin() + 5, frame.bytes.end() - 2);
        chunk.frameStarts.push_back(p);
        chunk.frames.push_back(std::move(frame));
        p += size;
    }
}

std::uint8_t VersionOf(const HostFrame& hello) {
    // A usable version needs the length field 3 and an ASCII digit.
    if (hello.payload.size() != 2 || hello.payload[1] < '0' || hello.payload[1] > '9')
        return 0;
    return static_cast<std::uint8_t>(hello.payload[1] - '0');
}

void Answer(StraightHost& host, UpdateRun& run, std::uint8_t version) {
    host.Link().ProtocolVersion = version;
    SendHandshakeReply(host.Link());
    run.keyBytes.push_back(host.Link().HandshakeKeyByte);
}

void StopAt(StraightHost& host, UpdateRun& run, const char* step) {
    run.stoppedAt = step;
    host.SetSpeed(kBaseBaud);
}

}  // namespace

StraightHost::StraightHost(const std::string& path, int baud)
    : StraightHost(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), baud) {}

StraightHost::StraightHost(int fd, int baud) : fd_(fd) {
    if (fd_ < 0)
        throw std::runtime_error("cannot open the port");
    fcntl(fd_, F_SETFL, O_NONBLOCK);
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd_, TCSANOW, &settings);
    SetSpeed(baud);
    link_.Send = [this](const std::uint8_t* data, std::uint16_t length) {
        lastSendAt_ = Clock::now();
        return write(fd_, data, length) == static_cast<ssize_t>(length);
    };
}

StraightHost::~StraightHost() {
    close(fd_);
}

void StraightHost::SetSpeed(int baud) {
    termios settings{};
    tcgetattr(fd_, &settings);
    cfsetospeed(&settings, SpeedConstant(baud));
    cfsetispeed(&settings, SpeedConstant(baud));
    tcsetattr(fd_, TCSANOW, &settings);
}

std::optional<HostFrame> StraightHost::AwaitFrame(std::uint8_t command, Millis within,
                                                  const std::function<bool()>& noReplySign) {
    constexpr Millis kSignLookInterval{20};
    auto deadline = Clock::now() + within;
    bool signSeen = false;
    while (true) {
        while (!pending_.empty()) {
            HostFrame frame = std::move(pending_.front());
            pending_.pop_front();
            if (frame.command == command)
                return frame;
        }
        if (noReplySign && !signSeen && noReplySign()) {
            signSeen = true;
            deadline = std::min(deadline, Clock::now() + kAfterNoReplySign);
        }
        if (hungUp_ || Clock::now() >= deadline)
            return std::nullopt;
        // Without a sign to look for, the read waits out the whole deadline.
        const auto readUntil = noReplySign && !signSeen
                                   ? std::min(deadline, Clock::now() + kSignLookInterval)
                                   : deadline;
        if (!ReadChunk(readUntil) && readUntil == deadline)
            return std::nullopt;
    }
}

bool StraightHost::AwaitChunk(Millis within) {
    return ReadChunk(Clock::now() + within);
}

void StraightHost::Listen(Millis within) {
    const auto deadline = Clock::now() + within;
    while (!hungUp_ && Clock::now() < deadline)
        ReadChunk(deadline);
}

bool StraightHost::ReadChunk(Clock::time_point deadline) {
    Chunk chunk;
    Clock::time_point firstByteAt{};
    while (true) {
        // A chunk closes after the read interval of silence, as on the host.
        const int wait =
            chunk.bytes.empty() ? MillisLeft(deadline) : static_cast<int>(kReadInterval.count());
        pollfd entry{fd_, POLLIN, 0};
        const int ready = poll(&entry, 1, wait);
        if (ready <= 0)
            break;
        std::uint8_t buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EAGAIN)
            continue;  // woken, but the bytes are not there yet
        if (n <= 0) {
            hungUp_ = true;  // the simulator closed its end
            break;
        }
        if (chunk.bytes.empty())
            firstByteAt = Clock::now();
        chunk.bytes.insert(chunk.bytes.end(), buffer, buffer + n);
    }
    if (chunk.bytes.empty())
        return false;
    FindFrames(chunk);
    for (auto& frame : chunk.frames)
        frame.arrivedAt = firstByteAt;
    pending_.insert(pending_.end(), chunk.frames.begin(), chunk.frames.end());
    chunks_.push_back(std::move(chunk));
    return true;
}

void Greet(StraightHost& host, UpdateRun& run, const HostPolicy& policy) {
    run.hello = host.AwaitFrame(command::kHello, policy.helloWithin);
    if (!run.hello)
        return StopAt(host, run, "hello");
    run.version = VersionOf(*run.hello);
    if (run.version == 0 || (policy.l3 && run.version < 3))
        return StopAt(host, run, "hello");
    Answer(host, run, run.version);
    // A hello that arrives before the identity request is answered again.
    int repeatsLeft = policy.repeatedHellos;
    while (const auto again = host.AwaitFrame(command::kHello,
                                              repeatsLeft > 0 ? policy.helloWithin : kHelloDelay)) {
        --repeatsLeft;
        const std::uint8_t version = VersionOf(*again);
        if (version == 0 || (policy.l3 && version < 3))
            continue;
        run.version = version;
        Answer(host, run, version);
    }
    host.SetSpeed(policy.updateBaud);
}

UpdateRun RunUpdate(StraightHost& host, const FirmwareImage& image, const HostPolicy& policy) {
    UpdateRun run;
    LinkState& link = host.Link();
    Greet(host, run, policy);
    if (!run.stoppedAt.empty())
        return run;

    SendIdentityRequest(link);
    run.identity = host.AwaitFrame(command::kIdentity, policy.replyWithin, policy.noReplySign);
    if (!run.identity) {
        StopAt(host, run, "identity");
        return run;
    }

    SendEepromInit(link);
    const auto init = host.AwaitFrame(command::kWrite, policy.replyWithin, policy.noReplySign);
    if (init && !init->payload.empty())
        run.initStatus = init->payload[0];
    if (run.initStatus != kStatusOk) {
        StopAt(host, run, "init");
        return run;
    }

    for (std::uint32_t offset = 0; offset < image.Length; offset += kBlockLength) {
        link.BlockOffset = static_cast<std::uint16_t>(offset);
        SendBlock(link, image);
        const auto ack = host.AwaitFrame(command::kBlock, policy.replyWithin, policy.noReplySign);
        if (!ack || ack->payload.empty()) {
            StopAt(host, run, "block");
            return run;
        }
        run.blockStatus.emplace_back(link.BlockOffset, ack->payload[0]);
        if (ack->payload[0] != kStatusOk) {
            StopAt(host, run, "block");
            return run;
        }
    }

    SendChecksumRequest(link);
    const auto checksum =
        host.AwaitFrame(command::kChecksum, policy.replyWithin, policy.noReplySign);
    if (!checksum || checksum->payload.size() < 2) {
        StopAt(host, run, "checksum");
        return run;
    }
    run.deviceChecksum =
        static_cast<std::uint16_t>(checksum->payload[0] << 8 | checksum->payload[1]);
    const std::size_t covered = link.ChecksumCount == 0 ? 65536 : link.ChecksumCount;
    run.hostChecksum = Crc16Ccitt(std::span(image.Data).first(covered));
    if (run.deviceChecksum == run.hostChecksum) {
        SendFinish(link);
        run.finished = true;
    } else {
        run.stoppedAt = "checksum";
    }
    std::this_thread::sleep_for(kRateRestore);
    host.SetSpeed(kBaseBaud);
    return run;
}

SerialRun RunSerialWrite(StraightHost& host, const std::string& serialNumber,
                         const HostPolicy& policy) {
    SerialRun run;
    Greet(host, run.start, policy);
    if (!run.start.stoppedAt.empty())
        return run;

    SendSerialRecord(host.Link(), serialNumber);
    const auto reply = host.AwaitFrame(command::kWrite, policy.replyWithin, policy.noReplySign);
    if (reply && !reply->payload.empty())
        run.status = reply->payload[0];
    if (!reply)
        return run;

    SendIdentityRequest(host.Link());
    run.identityAfter = host.AwaitFrame(command::kIdentity, policy.replyWithin, policy.noReplySign);
    host.SetSpeed(kBaseBaud);
    return run;
}

FirmwareImage MakeImage(const Bytes& bytes) {
    FirmwareImage image;
    std::copy(bytes.begin(), bytes.end(), image.Data.begin());
    image.Length = static_cast<std::uint16_t>(bytes.size());
    return image;
}

}  // namespace comflash::simtest
