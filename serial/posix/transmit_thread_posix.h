// TWriteThread: writes the queued blocks in order, each until all of its bytes
// are out, and posts a notice each time the queue drains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "serial/comm_notifier.h"
#include "serial/posix/fd_posix.h"
#include "serial/shared_timeouts.h"
#include "serial/transmit_queue.h"

namespace comflash {

class TWriteThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    TWriteThread(int port, int close_event, const SharedTimeouts& timeouts, CommNotifier notifier);
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;
    ~TWriteThread() { Join(); }

    void Start();  // throws std::system_error, also when the wake event is missing
    void Join();
    // Any thread. False once the thread has ended.
    bool Queue(std::vector<std::uint8_t> block);

private:
    void Run();
    // Waits for a queued block; false on the stop request or a fault.
    bool WaitForWork();
    bool WriteBlock(const std::vector<std::uint8_t>& block);
    // One write with the write time-outs: the count written, or nothing when
    // the thread is to end.
    std::optional<std::size_t> WriteFile(const std::uint8_t* data, std::size_t length);

    const int port_;
    const int closeEvent_;
    const SharedTimeouts& timeouts_;
    const CommNotifier notifier_;
    TransmitQueue queue_;
    EventFd wake_;
    std::thread thread_;
};

}  // namespace comflash
