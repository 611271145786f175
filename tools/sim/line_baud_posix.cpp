// Only kernel headers here: their struct termios is not the C library's, and
// only termios2 carries a speed set outside the Bxxx table as a number.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tools/sim/line_baud_posix.h"

namespace comflash::sim {

std::optional<int> ReadLineBaud(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0 || settings.c_ospeed == 0)
        return std::nullopt;
    return static_cast<int>(settings.c_ospeed);
}

}  // namespace comflash::sim
