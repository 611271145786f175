// Only kernel headers here: their struct termios is not the C library's.
#include "tests/serial/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace comflash::test {

std::uint32_t LineBaudRate(int fd) {
    termios2 attributes{};
    if (::ioctl(fd, TCGETS2, &attributes) != 0)
        return 0;
    return attributes.c_ospeed;
}

}  // namespace comflash::test
