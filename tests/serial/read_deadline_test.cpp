// When a read completes for each combination of read time-outs.
#include "serial/read_deadline.h"

#include <gtest/gtest.h>

namespace comflash {
namespace {

using std::chrono::milliseconds;
using Clock = ReadDeadline::Clock;

constexpr std::optional<milliseconds> kNoLimit = std::nullopt;

struct ReadCase {
    const char* name;
    CommTimeouts timeouts;
    std::size_t held;
    // After 10 ms of reading, with the latest byte at 4 ms.
    bool complete_at_once;
    std::optional<milliseconds> deadline;  // from the start of the read
};

class ReadDeadlineTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadDeadlineTest, CompletesWhenWindowsWould) {
    const ReadCase& c = GetParam();
    const Clock::time_point start{};
    ReadDeadline rule(c.timeouts, start);
    if (c.held > 0)
        rule.BytesArrived(start + milliseconds(4));
    EXPECT_EQ(rule.CompleteAtOnce(c.held), c.complete_at_once);
    const auto deadline = rule.Deadline(c.held);
    ASSERT_EQ(deadline.has_value(), c.deadline.has_value());
    if (deadline) {
        EXPECT_EQ(*deadline - start, *c.deadline);
    }
}

CommTimeouts Read(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
    return CommTimeouts{interval, multiplier, constant, 0, 0};
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadDeadlineTest,
    ::testing::Values(
        ReadCase{"IntervalWaitsForTheFirstByte", Read(30, 0, 0), 0, false, kNoLimit},
        ReadCase{"IntervalRunsFromTheLatestByte", Read(30, 0, 0), 5, false, milliseconds(34)},
        ReadCase{"TotalBoundsTheRead", Read(0, 0, 20), 5, false, milliseconds(20)},
        ReadCase{"TotalCountsPerByteOfTheBuffer", Read(0, 1, 20), 0, false,
                 milliseconds(2048 + 20)},
        ReadCase{"EarlierOfIntervalAndTotal", Read(30, 0, 25), 5, false, milliseconds(25)},
        ReadCase{"AllZeroWaitsForAFullBuffer", Read(0, 0, 0), 2047, false, kNoLimit},
        ReadCase{"AFullBufferCompletes", Read(30, 0, 0), 2048, true, milliseconds(34)},
        ReadCase{"MaxIntervalReturnsWhatIsThere", Read(kMaxDword, 0, 0), 3, true, kNoLimit},
        ReadCase{"MaxIntervalWaitsForAByteWithoutLimit", Read(kMaxDword, 0, 0), 0, false, kNoLimit},
        ReadCase{"MaxIntervalAndMultiplierWaitUpToTheConstant", Read(kMaxDword, kMaxDword, 50), 0,
                 false, milliseconds(50)},
        ReadCase{"MaxIntervalAndMultiplierReturnAtTheFirstByte", Read(kMaxDword, kMaxDword, 50), 1,
                 true, milliseconds(50)},
        ReadCase{"MaxIntervalWithTotalsIsNoInterval", Read(kMaxDword, 0, 40), 5, false,
                 milliseconds(40)},
        ReadCase{"HugeTotalIsNoLimit", Read(0, kMaxDword, kMaxDword), 5, false, kNoLimit}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadDeadlineTest, AnEmptyTimeoutRestartsTheTotal) {
    const Clock::time_point start{};
    ReadDeadline rule(Read(30, 0, 20), start);
    rule.Restart(start + milliseconds(20));
    EXPECT_EQ(*rule.Deadline(0) - start, milliseconds(40));
}

TEST(WriteDeadlineTest, CountsTheBytesOfTheWrite) {
    const Clock::time_point start{};
    EXPECT_EQ(WriteDeadline(CommTimeouts{}, start, 100), std::nullopt);
    EXPECT_EQ(*WriteDeadline(CommTimeouts{0, 0, 0, 2, 10}, start, 100) - start, milliseconds(210));
}

}  // namespace
}  // namespace comflash
