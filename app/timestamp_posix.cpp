#include <ctime>

#include "app/timestamp.h"

namespace comflash {
namespace {

// The locale's numeric date (%x) and its time with seconds (%X), as the
// front end's setlocale(LC_TIME, "") chose them.
std::string Format(const std::tm& local, const char* pattern) {
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, pattern, &local);
    return std::string(text, n);
}

}  // namespace

std::string FormatTimeStamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return Format(local, "%x") + "/" + Format(local, "%X");
}

}  // namespace comflash
