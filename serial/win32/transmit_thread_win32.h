// TWriteThread: writes the queued blocks in order with overlapped I/O, each
// until all of its bytes are out, and posts a notice each time the queue drains.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "serial/comm_notifier.h"
#include "serial/transmit_queue.h"
#include "serial/win32/handle_win32.h"

namespace comflash {

class TWriteThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    TWriteThread(HANDLE port, HANDLE close_event, CommNotifier notifier);
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
    bool EndAfter(DWORD error);
    void SettlePendingIo();

    const HANDLE port_;
    const HANDLE closeEvent_;
    const CommNotifier notifier_;
    TransmitQueue queue_;
    // Auto-reset: set by Queue, taken by the thread's wait.
    UniqueHandle wakeEvent_;
    UniqueHandle writeEvent_;
    OVERLAPPED write_{};
    bool writePending_ = false;
    std::thread thread_;
};

}  // namespace comflash
