// Line speeds the simulated device can listen at.
#pragma once

#include <algorithm>
#include <array>

namespace comflash::sim {

inline constexpr int kBaseBaud = 9600;
inline constexpr int kDefaultUpdateBaud = 38400;

inline constexpr std::array<int, 12> kSupportedBauds = {
    1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 500000, 921600};

inline bool IsSupportedBaud(int baud) {
    return std::find(kSupportedBauds.begin(), kSupportedBauds.end(), baud) != kSupportedBauds.end();
}

}  // namespace comflash::sim
