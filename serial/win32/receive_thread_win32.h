// TReadThread: keeps one overlapped read and one overlapped wait for line
// events pending, and posts every chunk, line error and modem change.
//
// Reads run under the driver's read time-outs, as the owner set them, unless
// the owner has set a completion rule. Then the thread keeps the time itself:
// each read returns as soon as bytes have come, the thread gathers them into
// chunks by the owner's time-outs and the rule, and so can hand on a whole
// unit the moment its last byte is in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <thread>

#include "serial/comm_notifier.h"
#include "serial/line_settings.h"
#include "serial/read_completion.h"
#include "serial/receive_chunk.h"
#include "serial/shared_timeouts.h"
#include "serial/win32/handle_win32.h"

namespace comflash {

class TReadThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    // The time-outs and the rule are read only under the thread's own time:
    // from the start with `own_time`, else once the owner calls KeepOwnTime.
    TReadThread(HANDLE port, HANDLE close_event, const SharedTimeouts& timeouts,
                const SharedReadCompletion& completion, bool own_time, CommNotifier notifier);
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    ~TReadThread() { Join(); }

    void Start();  // throws std::system_error, also when the timing event is missing
    void Join();
    // Owning thread: the first call makes the thread keep the read time
    // itself from the next read on (the pending one runs to its end); a
    // later call passes on new write time-outs.
    void KeepOwnTime() { ::SetEvent(timingEvent_.get()); }

private:
    // After a read that brought nothing, the next one waits this long, so
    // that a driver that completes empty reads at once (some do after an
    // unplug) cannot keep the thread spinning.
    static constexpr DWORD kEmptyReadPauseMs = 10;

    void Run();
    bool Prepare();
    // One wait on the close event, the event wait and the read; false when
    // the thread is to end.
    bool WaitAndHandle();
    bool IssueRead();
    bool CompleteRead();
    // Under the driver's read time-outs: one read is one chunk.
    bool IssueDriverTimedRead();
    bool CompleteDriverTimedRead();
    // Under the thread's own time (receive_thread_own_time_win32.cpp): a read
    // brings what has come, and the thread gathers the chunks.
    bool TakeOwnTime();
    bool EnterOwnTime();
    bool SetOwnTimeTimeouts();
    bool KeepOwnTimedReadGoing();
    bool CompleteOwnTimedRead();
    bool OwnTimedReadEnded(DWORD length);
    DWORD BytesToRead();
    void DeliverDueChunks();
    void DeliverChunk(std::size_t length);
    DWORD MillisecondsUntilDue() const;
    bool IssueEventWait();
    bool ProcessCommEvent(bool with_retrieval);
    bool Deliver(DWORD length);
    // Starts a read of up to `size` bytes into the buffer: its length when it
    // completed at once; nothing when it is pending (readPending_) or the
    // port failed (the thread is to end).
    std::optional<DWORD> StartRead(DWORD size);
    // The length of the read that was pending; nothing when it failed.
    std::optional<DWORD> FinishPendingRead();
    static bool EndedByTotalTimeout(DWORD error);
    // Applies the error rule to a call that did not start or complete.
    bool PendingAfter(DWORD error);
    bool EndAfter(DWORD error);
    void SettlePendingIo();
    bool CloseRequested() const;

    const HANDLE port_;
    const HANDLE closeEvent_;
    const SharedTimeouts& timeouts_;
    const CommNotifier notifier_;
    // Where every read lands; under the thread's own time the bytes then go
    // on into the chunk.
    std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
    // Auto-reset: set by KeepOwnTime, taken by the thread's wait.
    UniqueHandle timingEvent_;
    bool ownTimeAsked_ = false;
    bool ownTime_ = false;
    ReceiveChunk chunk_;
    UniqueHandle readEvent_;
    UniqueHandle eventWaitEvent_;
    OVERLAPPED read_{};
    OVERLAPPED eventWait_{};
    DWORD eventMask_ = 0;
    bool readPending_ = false;
    bool eventWaitPending_ = false;
    // Cleared when the port says it reports no line events (error 50, as
    // Wine answers on a pseudo-terminal): reading goes on without them.
    bool lineEvents_ = true;
    std::thread thread_;
};

}  // namespace comflash
