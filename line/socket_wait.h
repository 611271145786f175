// Waiting for a connection's socket to have data, with a bound.
#pragma once

namespace comflash::line {

enum class SocketWait { Ready, TimedOut, Failed };

// `socket` is the descriptor libpq reports (PQsocket).
SocketWait WaitReadable(int socket, int milliseconds);

}  // namespace comflash::line
