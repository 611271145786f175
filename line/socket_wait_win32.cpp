#include <winsock2.h>

#include "line/socket_wait.h"

namespace comflash::line {

SocketWait WaitReadable(int socket, int milliseconds) {
    // libpq hands out the SOCKET handle as an int.
    WSAPOLLFD entry{};
    entry.fd = static_cast<SOCKET>(socket);
    entry.events = POLLRDNORM;
    const int n = ::WSAPoll(&entry, 1, milliseconds);
    if (n > 0)
        return SocketWait::Ready;
    return n == 0 ? SocketWait::TimedOut : SocketWait::Failed;
}

}  // namespace comflash::line
