// A read that ends at the last byte of a whole frame, on a real port: with the
// frame rule in force a reply leaves the receive thread as soon as it is
// whole, and without it the read interval ends the chunk. Where each kind of
// chunk ends is worked through row by row on a clock of the test's own in
// receive_chunk_test.cpp; these two rows prove the component's receive
// thread keeps to it.
//
// No check depends on the machine's speed: the time is taken before the
// bytes are written, so the interval cannot have begun earlier, and a chunk
// that the rule ends comes long before the interval of that row could end it.
#include "protocol/frame.h"
#include "tests/serial/comm_fixture.h"

namespace comflash::test {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kAck = EncodeFrame(0x91, Bytes{0x01});

enum class EndedBy { Rule, Interval };

struct CompletionCase {
    const char* name;
    bool ruleSetWhileOpen;
    std::uint32_t intervalMs;
    EndedBy endedBy;
};

void PrintTo(const CompletionCase& row, std::ostream* out) {
    *out << row.name;
}

class ReadCompletionTest : public CommTest, public ::testing::WithParamInterface<CompletionCase> {
protected:
    ReadCompletionTest() {
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            events.chunks.emplace_back(buffer, buffer + length);
            arrivals.push_back(Clock::now());
        };
    }

    std::vector<Clock::time_point> arrivals;
};

TEST_P(ReadCompletionTest, ChunkEndsByTheRuleOrByTheInterval) {
    const CompletionCase& row = GetParam();
    comm.SetReadIntervalTimeout(row.intervalMs);
    comm.OpenPort();
    if (row.ruleSetWhileOpen)
        comm.SetReadCompletion(EndsWithCheckedFrame);

    const auto beforeWrite = Clock::now();
    pty.Write(kAck);
    ASSERT_TRUE(ReceiveBytes(kAck.size()));

    ASSERT_EQ(events.chunks.size(), 1u);
    EXPECT_EQ(events.chunks[0], kAck);
    const auto afterWrite = arrivals[0] - beforeWrite;
    if (row.endedBy == EndedBy::Rule) {
        EXPECT_LT(afterWrite, milliseconds(row.intervalMs));
    } else {
        EXPECT_GE(afterWrite, milliseconds(row.intervalMs));
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, ReadCompletionTest,
                         ::testing::Values(CompletionCase{"RuleSetWhileOpenEndsTheChunkAtOnce",
                                                          true, 5000, EndedBy::Rule},
                                           CompletionCase{"NoRuleNothingBeforeTheInterval", false,
                                                          1000, EndedBy::Interval}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::test
