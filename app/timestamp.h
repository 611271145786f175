// The time stamp of the Start and End lines: the user's short date, "/", the
// user's long time (with seconds). The date is read first, then the time.
#pragma once

#include <chrono>
#include <string>

namespace comflash {

std::string FormatTimeStamp(std::chrono::system_clock::time_point when);

}  // namespace comflash
