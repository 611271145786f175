#include <windows.h>

#include "app/timestamp.h"

namespace comflash {
namespace {

SYSTEMTIME ToLocalSystemTime(std::chrono::system_clock::time_point when) {
    // FILETIME counts 100 ns steps since 1601-01-01.
    constexpr long long kEpochDifference = 116444736000000000LL;
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10000000>>>(
            when.time_since_epoch())
            .count() +
        kEpochDifference;
    FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    FILETIME local{};
    SYSTEMTIME result{};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &result);
    return result;
}

}  // namespace

std::string FormatTimeStamp(std::chrono::system_clock::time_point when) {
    const SYSTEMTIME local = ToLocalSystemTime(when);
    char date[80] = {};
    char time[80] = {};
    // The user's short date format, then the user's long time format.
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, sizeof time);
    return std::string(date) + "/" + time;
}

}  // namespace comflash
