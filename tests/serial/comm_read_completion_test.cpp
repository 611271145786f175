// A read that ends at the last byte of a whole frame: with the frame rule in
// force a reply leaves the receive thread as soon as it is whole, and the
// read-interval time-out still ends whatever never becomes whole.
//
// The interval is 5 s, so that no check depends on the machine's speed: a
// chunk that came less than 5 s after its last byte was written was ended by
// the rule, one that came later by the interval.
#include <thread>

#include "protocol/frame.h"
#include "tests/serial/comm_fixture.h"

namespace comflash::test {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kInterval = 5000;
constexpr milliseconds kPartGap{100};

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

enum class Rule { None, SetBeforeOpen, SetWhileOpen };
enum class EndedBy { Rule, Interval };

struct ExpectedChunk {
    Bytes bytes;
    EndedBy ended_by;
};

struct CompletionCase {
    const char* name;
    Rule rule;
    std::vector<Bytes> parts;  // one write each, kPartGap apart
    std::vector<ExpectedChunk> chunks;
};

void PrintTo(const CompletionCase& row, std::ostream* out) {
    *out << row.name;
}

class ReadCompletionTest : public CommTest, public ::testing::WithParamInterface<CompletionCase> {
protected:
    ReadCompletionTest() {
        comm.SetReadIntervalTimeout(kInterval);
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            events.chunks.emplace_back(buffer, buffer + length);
            arrivals.push_back(Clock::now());
        };
    }

    std::vector<Clock::time_point> arrivals;
};

TEST_P(ReadCompletionTest, ChunksEndByTheRuleOrByTheInterval) {
    const CompletionCase& row = GetParam();
    if (row.rule == Rule::SetBeforeOpen)
        comm.SetReadCompletion(EndsWithCheckedFrame);
    comm.OpenPort();
    if (row.rule == Rule::SetWhileOpen)
        comm.SetReadCompletion(EndsWithCheckedFrame);

    // When the last byte of each expected chunk was written.
    std::vector<Clock::time_point> last_byte_written;
    std::size_t written = 0;
    std::size_t chunk_end = 0;
    std::size_t next_chunk = 0;
    for (std::size_t i = 0; i < row.parts.size(); ++i) {
        if (i > 0)
            std::this_thread::sleep_for(kPartGap);
        pty.Write(row.parts[i]);
        written += row.parts[i].size();
        while (next_chunk < row.chunks.size() &&
               chunk_end + row.chunks[next_chunk].bytes.size() <= written) {
            chunk_end += row.chunks[next_chunk++].bytes.size();
            last_byte_written.push_back(Clock::now());
        }
    }
    ASSERT_EQ(next_chunk, row.chunks.size()) << "the table's chunks do not add up to its parts";
    ASSERT_TRUE(ReceiveBytes(written));

    ASSERT_EQ(events.chunks.size(), row.chunks.size());
    for (std::size_t i = 0; i < row.chunks.size(); ++i) {
        EXPECT_EQ(events.chunks[i], row.chunks[i].bytes) << "chunk " << i;
        const auto after_last_byte = arrivals[i] - last_byte_written[i];
        if (row.chunks[i].ended_by == EndedBy::Rule) {
            EXPECT_LT(after_last_byte, milliseconds(kInterval)) << "chunk " << i;
        } else {
            EXPECT_GE(after_last_byte, milliseconds(kInterval)) << "chunk " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReadCompletionTest,
    ::testing::Values(
        CompletionCase{"WholeFrameAtOnce", Rule::SetBeforeOpen, {kAck}, {{kAck, EndedBy::Rule}}},
        CompletionCase{
            "LongFrameAtOnce", Rule::SetBeforeOpen, {kIdentity}, {{kIdentity, EndedBy::Rule}}},
        CompletionCase{"RuleSetWhileOpen", Rule::SetWhileOpen, {kAck}, {{kAck, EndedBy::Rule}}},
        CompletionCase{"FailedCheckWaitsForTheInterval",
                       Rule::SetBeforeOpen,
                       {BadCheck(kAck)},
                       {{BadCheck(kAck), EndedBy::Interval}}},
        CompletionCase{"TwoFramesBackToBackTwoChunks",
                       Rule::SetBeforeOpen,
                       {Join({kAck, kIdentity})},
                       {{kAck, EndedBy::Rule}, {kIdentity, EndedBy::Rule}}},
        CompletionCase{"NoiseStaysInFrontOfTheFrame",
                       Rule::SetBeforeOpen,
                       {kNoise, kAck},
                       {{Join({kNoise, kAck}), EndedBy::Rule}}},
        CompletionCase{"FrameInTwoPartsOneChunk",
                       Rule::SetBeforeOpen,
                       {Head(kIdentity, 300), Tail(kIdentity, 300)},
                       {{kIdentity, EndedBy::Rule}}},
        CompletionCase{"FirstSyncPairNoiseThenGoodFrame",
                       Rule::SetBeforeOpen,
                       {Join({{0xAB, 0xAB, 0x00}, kAck})},
                       {{Join({{0xAB, 0xAB, 0x00}, kAck}), EndedBy::Interval}}},
        CompletionCase{"PartOfTheNextFrameWaitsForTheInterval",
                       Rule::SetBeforeOpen,
                       {Join({kAck, Head(kAck, 5)})},
                       {{kAck, EndedBy::Rule}, {Head(kAck, 5), EndedBy::Interval}}},
        CompletionCase{
            "NoRuleNothingBeforeTheInterval", Rule::None, {kAck}, {{kAck, EndedBy::Interval}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The rule taken away on an open port: reads end by the interval again.
TEST_F(CommTest, RuleRemovedWhileOpenLeavesTheIntervalAlone) {
    comm.SetReadIntervalTimeout(kInterval);
    comm.SetReadCompletion(EndsWithCheckedFrame);
    comm.OpenPort();
    pty.Write(kAck);
    ASSERT_TRUE(ReceiveBytes(kAck.size()));
    comm.SetReadCompletion(nullptr);
    EXPECT_FALSE(comm.HasReadCompletion());
    const auto written = Clock::now();
    pty.Write(kAck);
    ASSERT_TRUE(ReceiveBytes(2 * kAck.size()));
    EXPECT_GE(Clock::now() - written, milliseconds(kInterval));
    ASSERT_EQ(events.chunks.size(), 2u);
    EXPECT_EQ(events.chunks[1], kAck);
}

// Bytes that never become whole still leave in chunks of at most 2048, in
// line order, and the rule finds the frame that follows them.
TEST_F(CommTest, FullBufferEndsAReadTheRuleNeverCompletes) {
    comm.SetReadIntervalTimeout(kInterval);
    comm.SetReadCompletion(EndsWithCheckedFrame);
    comm.OpenPort();
    Bytes noise = Pattern(3000, 9);
    for (auto& byte : noise) {
        if (byte == kSyncByte)
            byte = 0x2B;
    }
    const Bytes sent = Join({noise, kAck});
    pty.Write(sent);
    ASSERT_TRUE(ReceiveBytes(sent.size()));
    EXPECT_EQ(events.AllBytes(), sent);
    ASSERT_EQ(events.chunks.size(), 2u);
    EXPECT_EQ(events.chunks[0].size(), kReceiveBufferSize);
    EXPECT_EQ(events.chunks[1], Tail(sent, kReceiveBufferSize));
}

}  // namespace
}  // namespace comflash::test
