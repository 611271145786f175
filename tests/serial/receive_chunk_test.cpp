// Where a receive thread's chunks end, played on a clock of the test's own:
// the bytes of the line arrive at set milliseconds, reads take what is there
// the way both backends' receive threads do, and each chunk leaves either at
// the last byte of a whole frame (the completion rule) or when the read
// interval runs out. No pseudo-terminal and no waiting: every time below is
// exact. comm_read_completion_test.cpp proves the same on a real port.
#include "serial/receive_chunk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/frame.h"

namespace comflash {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using Clock = ReceiveChunk::Clock;

constexpr std::uint32_t kIntervalMs = 30;  // the tool's read interval

Bytes Pattern(std::size_t count, std::uint8_t seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

const Bytes kAck = EncodeFrame(0x91, Bytes{0x01});
const Bytes kIdentity = EncodeFrame(0x93, Pattern(608, 3));
const Bytes kNoise = {0x12, 0x00, 0x7F, 0x55};

Bytes Join(std::initializer_list<Bytes> pieces) {
    Bytes all;
    for (const Bytes& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}
Bytes BadCheck(Bytes frame) {
    frame.back() ^= 0x01;
    return frame;
}
Bytes Head(const Bytes& bytes, std::size_t count) {
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}
Bytes Tail(const Bytes& bytes, std::size_t from) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()};
}
Bytes NoiseWithoutSync(std::size_t count) {
    Bytes noise = Pattern(count, 9);
    std::replace(noise.begin(), noise.end(), kSyncByte, std::uint8_t{0x2B});
    return noise;
}

enum class Rule { Unchanged, On, Off };

// At `atMs` the owner sets or clears the frame rule, then `bytes` reach the line.
struct Arrival {
    long atMs;
    Bytes bytes;
    Rule rule = Rule::Unchanged;
};

struct Chunk {
    Bytes bytes;
    long leftAtMs;
    friend bool operator==(const Chunk&, const Chunk&) = default;
};

void PrintTo(const Chunk& chunk, std::ostream* out) {
    *out << chunk.bytes.size() << " bytes at " << chunk.leftAtMs << " ms";
}

// The receive thread's loop (serial/posix/receive_thread_posix.cpp) against
// the arrivals: reads take every byte waiting, up to the buffer's room.
std::vector<Chunk> Play(bool ruleAtStart, const std::vector<Arrival>& arrivals) {
    SharedReadCompletion completion;
    if (ruleAtStart)
        completion.Store(EndsWithCheckedFrame);
    CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = kIntervalMs;
    const Clock::time_point start{};
    const auto at = [&](long ms) { return start + milliseconds(ms); };

    ReceiveChunk chunk(completion);
    std::vector<Chunk> chunks;
    std::deque<std::uint8_t> line;
    std::size_t next = 0;
    long now = 0;
    const auto deliver = [&](std::size_t count) {
        chunks.push_back({Bytes(chunk.Data(), chunk.Data() + count), now});
        chunk.Delivered(count);
        chunk.Begin(timeouts, at(now));
    };
    chunk.Begin(timeouts, at(now));
    while (true) {
        if (const std::size_t ready = chunk.ReadyNow(); ready > 0) {
            deliver(ready);
            continue;
        }
        if (!line.empty()) {
            const std::size_t count = std::min(line.size(), chunk.SpaceLeft());
            std::copy_n(line.begin(), count, chunk.Space());
            line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(count));
            chunk.Arrived(count, at(now));
            continue;
        }
        const std::optional<Clock::time_point> deadline = chunk.Deadline();
        const bool arrivalFirst =
            next < arrivals.size() && (!deadline || at(arrivals[next].atMs) < *deadline);
        if (arrivalFirst) {
            const Arrival& arrival = arrivals[next++];
            now = std::max(now, arrival.atMs);
            if (arrival.rule == Rule::On)
                completion.Store(EndsWithCheckedFrame);
            if (arrival.rule == Rule::Off)
                completion.Store(nullptr);
            line.insert(line.end(), arrival.bytes.begin(), arrival.bytes.end());
            continue;
        }
        if (!deadline)
            return chunks;
        now = std::chrono::duration_cast<milliseconds>(*deadline - start).count();
        if (chunk.Held() > 0)
            deliver(chunk.Held());
        else
            chunk.Restart(at(now));
    }
}

struct ChunkCase {
    const char* name;
    bool ruleAtStart;
    std::vector<Arrival> arrivals;
    std::vector<Chunk> chunks;
};

void PrintTo(const ChunkCase& row, std::ostream* out) {
    *out << row.name;
}

class ReceiveChunkEnds : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ReceiveChunkEnds, AtTheFramesLastByteOrByTheInterval) {
    EXPECT_EQ(Play(GetParam().ruleAtStart, GetParam().arrivals), GetParam().chunks);
}

const long kAfterInterval = kIntervalMs;

INSTANTIATE_TEST_SUITE_P(
    Rows, ReceiveChunkEnds,
    ::testing::Values(
        ChunkCase{"WholeFrameAtOnce", true, {{5, kAck}}, {{kAck, 5}}},
        ChunkCase{"LongFrameAtOnce", true, {{5, kIdentity}}, {{kIdentity, 5}}},
        ChunkCase{
            "NoRuleNothingBeforeTheInterval", false, {{5, kAck}}, {{kAck, 5 + kAfterInterval}}},
        ChunkCase{"RuleSetBeforeTheFirstByte", false, {{5, kAck, Rule::On}}, {{kAck, 5}}},
        ChunkCase{"FailedCheckWaitsForTheInterval",
                  true,
                  {{5, BadCheck(kAck)}},
                  {{BadCheck(kAck), 5 + kAfterInterval}}},
        ChunkCase{"TwoFramesBackToBackTwoChunks",
                  true,
                  {{5, Join({kAck, kIdentity})}},
                  {{kAck, 5}, {kIdentity, 5}}},
        ChunkCase{"NoiseStaysInFrontOfTheFrame",
                  true,
                  {{5, kNoise}, {15, kAck}},
                  {{Join({kNoise, kAck}), 15}}},
        ChunkCase{"FrameInTwoPartsOneChunk",
                  true,
                  {{5, Head(kIdentity, 300)}, {25, Tail(kIdentity, 300)}},
                  {{kIdentity, 25}}},
        ChunkCase{"PauseBeyondTheIntervalSplitsAFrame",
                  true,
                  {{5, Head(kIdentity, 300)}, {100, Tail(kIdentity, 300)}},
                  {{Head(kIdentity, 300), 5 + kAfterInterval},
                   {Tail(kIdentity, 300), 100 + kAfterInterval}}},
        ChunkCase{"IntervalRunsFromTheLatestByte",
                  false,
                  {{5, Head(kAck, 3)}, {30, Tail(kAck, 3)}},
                  {{kAck, 30 + kAfterInterval}}},
        ChunkCase{"FirstSyncPairNoiseThenGoodFrame",
                  true,
                  {{5, Join({{0xAB, 0xAB, 0x00}, kAck})}},
                  {{Join({{0xAB, 0xAB, 0x00}, kAck}), 5 + kAfterInterval}}},
        ChunkCase{"PartOfTheNextFrameWaitsForTheInterval",
                  true,
                  {{5, Join({kAck, Head(kAck, 5)})}},
                  {{kAck, 5}, {Head(kAck, 5), 5 + kAfterInterval}}},
        // The rule is taken at a chunk's first byte and kept for that chunk.
        ChunkCase{"RuleSetInsideAChunkWaitsForTheNextChunk",
                  false,
                  {{5, Head(kAck, 3)}, {10, Tail(kAck, 3), Rule::On}, {100, kAck}},
                  {{kAck, 10 + kAfterInterval}, {kAck, 100}}},
        ChunkCase{"RuleRemovedBetweenChunksLeavesTheIntervalAlone",
                  true,
                  {{5, kAck}, {100, kAck, Rule::Off}},
                  {{kAck, 5}, {kAck, 100 + kAfterInterval}}},
        // Bytes that never become whole still leave in chunks of at most
        // 2048, in line order, and the rule finds the frame after them.
        ChunkCase{"FullBufferEndsAReadTheRuleNeverCompletes",
                  true,
                  {{5, Join({NoiseWithoutSync(3000), kAck})}},
                  {{Head(Join({NoiseWithoutSync(3000), kAck}), kReceiveBufferSize), 5},
                   {Tail(Join({NoiseWithoutSync(3000), kAck}), kReceiveBufferSize), 5}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
