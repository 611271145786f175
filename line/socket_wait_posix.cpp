#include <poll.h>

#include <cerrno>

#include "line/socket_wait.h"

namespace comflash::line {

SocketWait WaitReadable(int socket, int milliseconds) {
    pollfd entry{socket, POLLIN, 0};
    const int n = ::poll(&entry, 1, milliseconds);
    if (n > 0)
        return SocketWait::Ready;  // an error or hang-up shows up when libpq reads
    if (n == 0)
        return SocketWait::TimedOut;
    return errno == EINTR ? SocketWait::TimedOut : SocketWait::Failed;
}

}  // namespace comflash::line
