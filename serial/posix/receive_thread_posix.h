// TReadThread: keeps a read pending on the port and posts every finished chunk
// of 1 to 2048 bytes, and every line error, to the owning thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "serial/comm_notifier.h"
#include "serial/line_settings.h"
#include "serial/posix/shared_timeouts_posix.h"

namespace comflash {

class LineErrorCounters;

class TReadThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    TReadThread(int port, int close_event, const SharedTimeouts& timeouts, CommNotifier notifier);
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    ~TReadThread() { Join(); }

    void Start();  // throws std::system_error
    void Join();

private:
    void Run();
    // Gathers one chunk by the read time-outs and delivers it; false when the
    // thread is to end (stop request or fault).
    bool IssueRead(LineErrorCounters& line_errors);
    // After a read failed or found the line gone; bytes already held go out first.
    bool EndOnReadFailure(int error, std::size_t held);
    void Deliver(std::size_t length);

    const int port_;
    const int close_event_;
    const SharedTimeouts& timeouts_;
    const CommNotifier notifier_;
    std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
    std::thread thread_;
};

}  // namespace comflash
