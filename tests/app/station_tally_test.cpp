// The station's totals and devices per hour, on a clock the test moves.
#include "app/station_tally.h"

#include <gtest/gtest.h>

namespace comflash {
namespace {

using namespace std::chrono_literals;

class Tally : public ::testing::Test {
protected:
    StationTally::Clock::time_point At(std::chrono::seconds since) const { return start + since; }

    const StationTally::Clock::time_point start = StationTally::Clock::now();
    StationTally tally;
};

TEST_F(Tally, CountsGoodAndFailedApart) {
    tally.Opened(At(0s));
    tally.Finished(true, At(10s));
    tally.Finished(false, At(20s));
    tally.Finished(true, At(30s));
    EXPECT_EQ(tally.Good(), 2u);
    EXPECT_EQ(tally.Failed(), 1u);
    EXPECT_EQ(tally.TotalsText(), "finished 3: 2 good, 1 failed");
}

TEST_F(Tally, NothingPerHourBeforeTheFirstOpen) {
    EXPECT_EQ(tally.HourText(At(0s)), "per hour: -");
}

TEST_F(Tally, ProjectsTheHourFromTheTimeOpenWhileItIsShorter) {
    tally.Opened(At(0s));
    for (int device = 1; device <= 10; ++device)
        tally.Finished(device != 4, At(std::chrono::seconds(device * 60)));
    // 9 good and 1 failed in 10 minutes: 54 and 6 an hour.
    const StationTally::Hour hour = tally.LastHour(At(600s));
    EXPECT_EQ(hour.good, 54);
    EXPECT_EQ(hour.failed, 6);
    ASSERT_TRUE(hour.projectedFrom);
    EXPECT_EQ(*hour.projectedFrom, 600s);
    EXPECT_EQ(tally.HourText(At(600s)), "per hour: 54 good, 6 failed (from 10 min open)");
}

TEST_F(Tally, TheFirstMinuteCountsAsAWholeOne) {
    tally.Opened(At(0s));
    tally.Finished(true, At(2s));
    tally.Finished(true, At(4s));
    EXPECT_EQ(tally.LastHour(At(5s)).good, 120);
    EXPECT_EQ(tally.HourText(At(5s)), "per hour: 120 good, 0 failed (from 5 s open)");
}

TEST_F(Tally, AfterAnHourCountsTheLastSixtyMinutesOnly) {
    tally.Opened(At(0s));
    tally.Finished(false, At(600s));  // more than an hour before the end
    tally.Finished(true, At(3000s));
    tally.Finished(true, At(4000s));
    const StationTally::Hour hour = tally.LastHour(At(4300s));
    EXPECT_EQ(hour.good, 2);
    EXPECT_EQ(hour.failed, 0);
    EXPECT_FALSE(hour.projectedFrom);
    EXPECT_EQ(tally.HourText(At(4300s)), "last 60 min: 2 good, 0 failed");
    EXPECT_EQ(tally.Failed(), 1u) << "the totals keep every device";
}

TEST_F(Tally, OnlyTheFirstOpenStartsTheClock) {
    tally.Opened(At(0s));
    tally.Opened(At(1800s));
    tally.Finished(true, At(1800s));
    EXPECT_EQ(tally.LastHour(At(1800s)).good, 2) << "one device in half an hour";
}

}  // namespace
}  // namespace comflash
