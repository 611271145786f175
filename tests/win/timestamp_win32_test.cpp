// The time stamp of the Start and End lines on Windows: the user's short date,
// "/", the user's long time. CTest runs this program in Wine with TZ=UTC and
// the C locale, which Wine presents as UTC and English (United States).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/timestamp.h"

namespace comflash {
namespace {

struct StampCase {
    const char* name;
    std::chrono::seconds since_epoch;
    const char* stamp;
};

class TimeStampOnWindows : public ::testing::TestWithParam<StampCase> {};

TEST_P(TimeStampOnWindows, ShortDateSlashLongTime) {
    const std::chrono::system_clock::time_point when{GetParam().since_epoch};
    EXPECT_EQ(FormatTimeStamp(when), GetParam().stamp);
}

// Rows around the conversion from the Unix epoch to Windows file time, and
// hours that the 12-hour clock writes differently.
INSTANTIATE_TEST_SUITE_P(
    Moments, TimeStampOnWindows,
    ::testing::Values(
        StampCase{"afternoon", std::chrono::seconds(1709647629), "3/5/2024/2:07:09 PM"},
        StampCase{"just_after_midnight", std::chrono::seconds(1704067201), "1/1/2024/12:00:01 AM"},
        StampCase{"noon", std::chrono::seconds(1719835200), "7/1/2024/12:00:00 PM"},
        StampCase{"last_second_of_a_year", std::chrono::seconds(1735689599),
                  "12/31/2024/11:59:59 PM"},
        StampCase{"past_2038", std::chrono::seconds(2240611200), "1/1/2041/12:00:00 AM"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
