#include "tools/sim/termios_posix.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "tools/sim/sim_line.h"

namespace comflash::sim {
namespace {

constexpr std::pair<int, speed_t> kSpeeds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {500000, B500000}, {921600, B921600},
};

[[noreturn]] void Fail(const char* what, const char* call) {
    throw LineError(std::string(what) + ": " + call + " failed: " + std::strerror(errno));
}

}  // namespace

std::optional<speed_t> SpeedConstantFor(int baud) {
    for (const auto& [value, constant] : kSpeeds) {
        if (value == baud)
            return constant;
    }
    return std::nullopt;
}

void MakeRaw(int fd, const char* what) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        Fail(what, "tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        Fail(what, "tcsetattr");
}

void SetBaud(int fd, int baud, const char* what) {
    const auto constant = SpeedConstantFor(baud);
    if (!constant)
        throw LineError(std::string(what) + ": unsupported speed " + std::to_string(baud));
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        Fail(what, "tcgetattr");
    cfsetospeed(&settings, *constant);
    cfsetispeed(&settings, *constant);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        Fail(what, "tcsetattr");
}

}  // namespace comflash::sim
