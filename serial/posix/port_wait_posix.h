// The one blocking wait of the worker threads: the port, with the stop event
// watched beside it, until an optional deadline.
#pragma once

#include <chrono>
#include <optional>

namespace comflash {

enum class PortWait {
    Stopped,   // the stop event is set; it wins over a ready port
    Ready,     // the port can be read or written
    HungUp,    // a hang-up or an error: data may still wait, and the next read or
               // write that would block means the line is gone
    TimedOut,  // the deadline passed first
    Failed,    // the wait itself failed
};

PortWait WaitForPort(int port, short events, int stop,
                     std::optional<std::chrono::steady_clock::time_point> deadline);

// The stop request, tested without waiting.
bool StopRequested(int stop);

}  // namespace comflash
