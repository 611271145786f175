// Only kernel headers here: their struct termios is not the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace comflash {

bool SetCustomBaudRate(int port, std::uint32_t baud_rate) {
    termios2 attributes{};
    if (::ioctl(port, TCGETS2, &attributes) != 0)
        return false;
    attributes.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    attributes.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    attributes.c_ispeed = baud_rate;
    attributes.c_ospeed = baud_rate;
    return ::ioctl(port, TCSETS2, &attributes) == 0;
}

}  // namespace comflash
