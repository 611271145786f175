// A small straight-line host written from the link protocol alone: it
// opens the port raw, sets 9600 or 38400 at the moments the protocol
// names, sends requests built by the protocol senders and waits for each
// reply with a deadline. Like the real host it looks at each received chunk
// on its own, so a reply split over two chunks is never found.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/firmware_image.h"
#include "protocol/link_state.h"
#include "sim_process.h"

namespace comflash::simtest {

using Millis = std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

// Once the device has said that no usable reply is coming, how long the host
// still waits for one: a reply the device sends at all leaves at once.
inline constexpr Millis kAfterNoReplySign{500};

struct HostFrame {
    std::uint8_t command = 0;
    Bytes payload;
    Bytes bytes;
    std::chrono::steady_clock::time_point arrivedAt;  // first byte of its chunk
};

// The bytes of one read burst, closed by 30 ms of silence like the host's
// read-interval time-out, and the frames found in it.
struct Chunk {
    Bytes bytes;
    std::vector<std::size_t> frameStarts;
    std::vector<HostFrame> frames;
};

class StraightHost {
public:
    explicit StraightHost(const std::string& path, int baud = 9600);
    // Takes over an open terminal, such as the master of a pair.
    explicit StraightHost(int fd, int baud = 9600);
    ~StraightHost();
    StraightHost(const StraightHost&) = delete;
    StraightHost& operator=(const StraightHost&) = delete;

    void SetSpeed(int baud);
    LinkState& Link() { return link_; }
    int Fd() const { return fd_; }

    // The next frame with this command, skipping others, or nothing when
    // `within` passes or the line hangs up first. Once `noReplySign` turns
    // true, the wait ends kAfterNoReplySign later at the latest.
    std::optional<HostFrame> AwaitFrame(std::uint8_t command, Millis within,
                                        const std::function<bool()>& noReplySign = {});
    // Every chunk that arrives within this time.
    void Listen(Millis within);
    // Waits for the next chunk, whatever it holds; false when none comes.
    bool AwaitChunk(Millis within);

    const std::vector<Chunk>& Chunks() const { return chunks_; }
    bool HungUp() const { return hungUp_; }
    std::chrono::steady_clock::time_point LastSendAt() const { return lastSendAt_; }

private:
    bool ReadChunk(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    LinkState link_;
    std::deque<HostFrame> pending_;
    std::vector<Chunk> chunks_;
    bool hungUp_ = false;
    std::chrono::steady_clock::time_point lastSendAt_{};
};

struct HostPolicy {
    Millis helloWithin = kPatience;
    Millis replyWithin = kPatience;
    // The device's word that a request of this run gets no usable reply
    // (SimProcess::NoUsableReplySign); without it the host waits replyWithin.
    std::function<bool()> noReplySign;
    // Hellos the device repeats at once after its first: the host waits for
    // them, since a loaded machine may deliver them after the hello delay.
    int repeatedHellos = 0;
    bool l3 = false;  // refuse hellos below version 3
    int updateBaud = 38400;
};

struct UpdateRun {
    std::optional<HostFrame> hello;
    std::uint8_t version = 0;
    std::vector<std::uint8_t> keyBytes;  // one per handshake reply sent
    std::optional<HostFrame> identity;
    std::optional<std::uint8_t> initStatus;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> blockStatus;
    std::optional<std::uint16_t> deviceChecksum;
    std::uint16_t hostChecksum = 0;
    bool finished = false;
    std::string stoppedAt;  // "hello", "identity", "init", "block", "checksum"; empty when finished
};

// Hello, handshake, identity, EEPROM init, every block, checksum, finish.
UpdateRun RunUpdate(StraightHost& host, const FirmwareImage& image, const HostPolicy& policy = {});

struct SerialRun {
    UpdateRun start;  // up to the handshake
    std::optional<std::uint8_t> status;
    std::optional<HostFrame> identityAfter;
};

// Hello, handshake, serial-number record, then an identity read.
SerialRun RunSerialWrite(StraightHost& host, const std::string& serialNumber,
                         const HostPolicy& policy = {});

// Hello and handshake replies, answering every hello that arrives while the
// host waits before its identity request; "hello" in stoppedAt when refused.
void Greet(StraightHost& host, UpdateRun& run, const HostPolicy& policy);

FirmwareImage MakeImage(const Bytes& bytes);

}  // namespace comflash::simtest
