// Only kernel headers here: their struct termios is not the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <optional>

namespace comflash {

int SetCustomBaudRate(int port, std::uint32_t baud_rate) {
    termios2 attributes{};
    if (::ioctl(port, TCGETS2, &attributes) != 0)
        return errno;
    attributes.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    attributes.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    attributes.c_ispeed = baud_rate;
    attributes.c_ospeed = baud_rate;
    return ::ioctl(port, TCSETS2, &attributes) == 0 ? 0 : errno;
}

// The kernel keeps the rate in c_ospeed for standard and other rates alike,
// after the driver has put in the one it really runs at.
std::optional<std::uint32_t> DriverBaudRate(int port) {
    termios2 attributes{};
    if (::ioctl(port, TCGETS2, &attributes) != 0)
        return std::nullopt;
    return attributes.c_ospeed;
}

}  // namespace comflash
