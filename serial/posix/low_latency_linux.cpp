#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "serial/posix/low_latency_posix.h"

namespace comflash {
namespace {

// A driver without serial_struct answers ENOTTY or EINVAL: it has no latency
// timer to shorten.
bool NoSuchMode(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

std::string LowLatency::Request(int port) {
    if (requested_)
        return {};
    requested_ = true;
    serial_struct serial{};
    if (::ioctl(port, TIOCGSERIAL, &serial) != 0) {
        if (NoSuchMode(errno))
            return {};
        return "low latency cannot be asked for (" + std::generic_category().message(errno) +
               "): replies wait for the adapter's latency timer";
    }
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0)
        return {};
    const int before = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(port, TIOCSSERIAL, &serial) != 0) {
        if (NoSuchMode(errno))
            return {};
        return "the driver refused low latency (" + std::generic_category().message(errno) +
               "): replies wait for the adapter's latency timer";
    }
    restoreFlags_ = before;
    return {};
}

// The port is being let go: a driver that no longer answers (the adapter is
// gone) took its setting with it, so a failure here leaves nothing to put
// back and no one to tell.
void LowLatency::Restore(int port) {
    const std::optional<int> before = std::exchange(restoreFlags_, std::nullopt);
    requested_ = false;
    serial_struct serial{};
    if (!before || ::ioctl(port, TIOCGSERIAL, &serial) != 0)
        return;
    // Only the one flag goes back: the rest may have been changed by someone
    // else meanwhile, and is theirs.
    serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (*before & ASYNC_LOW_LATENCY);
    [[maybe_unused]] const bool restored = ::ioctl(port, TIOCSSERIAL, &serial) == 0;
}

}  // namespace comflash
