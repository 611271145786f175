#include "app/timestamp.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

namespace comflash {
namespace {

TEST(TimeStamp, DateThenSlashThenTimeWithSeconds) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::setlocale(LC_TIME, "C");
    const std::chrono::system_clock::time_point when{std::chrono::seconds(1709647629)};
    EXPECT_EQ(FormatTimeStamp(when), "03/05/24/14:07:09");
}

}  // namespace
}  // namespace comflash
