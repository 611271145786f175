#include <linux/serial.h>
#include <sys/ioctl.h>

#include "serial/posix/low_latency_posix.h"

namespace comflash {

void LowLatency::Request(int port) {
    if (requested_)
        return;
    requested_ = true;
    serial_struct serial{};
    if (::ioctl(port, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0)
        return;
    const int before = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(port, TIOCSSERIAL, &serial) == 0)
        restore_flags_ = before;
}

void LowLatency::Restore(int port) {
    if (!restore_flags_)
        return;
    serial_struct serial{};
    if (::ioctl(port, TIOCGSERIAL, &serial) == 0) {
        // Only the one flag goes back: the rest may have been changed by
        // someone else meanwhile, and is theirs.
        serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (*restore_flags_ & ASYNC_LOW_LATENCY);
        ::ioctl(port, TIOCSSERIAL, &serial);
    }
    restore_flags_.reset();
    requested_ = false;
}

}  // namespace comflash
