// TReadThread: keeps one overlapped read and one overlapped wait for line
// events pending, and posts every chunk, line error and modem change.
#pragma once

#include <array>
#include <cstdint>
#include <thread>

#include "serial/comm_notifier.h"
#include "serial/line_settings.h"
#include "serial/win32/handle_win32.h"

namespace comflash {

class TReadThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    TReadThread(HANDLE port, HANDLE close_event, CommNotifier notifier);
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    ~TReadThread() { Join(); }

    void Start();  // throws std::system_error
    void Join();

private:
    void Run();
    bool Prepare();
    // One wait on the close event, the event wait and the read; false when
    // the thread is to end.
    bool WaitAndHandle();
    bool IssueRead();
    bool CompleteRead();
    bool IssueEventWait();
    bool ProcessCommEvent(bool with_retrieval);
    bool Deliver(DWORD length);
    static bool EndedByTotalTimeout(DWORD error);
    // Applies the error rule to a call that did not start or complete.
    bool PendingAfter(DWORD error);
    bool EndAfter(DWORD error);
    void SettlePendingIo();
    bool CloseRequested() const;

    const HANDLE port_;
    const HANDLE close_event_;
    const CommNotifier notifier_;
    std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
    UniqueHandle read_event_;
    UniqueHandle event_wait_event_;
    OVERLAPPED read_{};
    OVERLAPPED event_wait_{};
    DWORD event_mask_ = 0;
    bool read_pending_ = false;
    bool event_wait_pending_ = false;
    // Cleared when the port says it reports no line events (error 50, as
    // Wine answers on a pseudo-terminal): reading goes on without them.
    bool line_events_ = true;
    std::thread thread_;
};

}  // namespace comflash
