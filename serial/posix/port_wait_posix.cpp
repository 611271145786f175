#include "serial/posix/port_wait_posix.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace comflash {
namespace {

using Clock = std::chrono::steady_clock;

// ppoll takes the time-out at nanosecond precision, where poll rounds to whole
// milliseconds; the read-interval time-out is measured from here.
timespec Remaining(Clock::time_point deadline) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

}  // namespace

PortWait WaitForPort(int port, short events, int stop, std::optional<Clock::time_point> deadline) {
    for (;;) {
        pollfd watched[2] = {{stop, POLLIN, 0}, {port, events, 0}};
        timespec timeout{};
        if (deadline)
            timeout = Remaining(*deadline);
        const int ready = ::ppoll(watched, 2, deadline ? &timeout : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return PortWait::Failed;
        }
        if (watched[0].revents != 0)
            return PortWait::Stopped;
        if ((watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return PortWait::HungUp;
        if ((watched[1].revents & events) != 0)
            return PortWait::Ready;
        if (ready == 0)
            return PortWait::TimedOut;
    }
}

bool StopRequested(int stop) {
    pollfd watched{stop, POLLIN, 0};
    return ::poll(&watched, 1, 0) != 0;
}

}  // namespace comflash
