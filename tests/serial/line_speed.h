#pragma once

#include <cstdint>

namespace comflash::test {

// The speed of the terminal behind `fd` in bit/s, also for rates outside the
// standard list; 0 when it cannot be read.
std::uint32_t LineBaudRate(int fd);

}  // namespace comflash::test
