#include "serial/win32/receive_thread_win32.h"
#include "serial/worker_thread.h"

#include <system_error>

namespace comflash {
namespace {

constexpr DWORD kWatchedEvents = EV_RING | EV_ERR | EV_RLSD;

}  // namespace

TReadThread::TReadThread(HANDLE port, HANDLE close_event, const SharedTimeouts& timeouts,
                         const SharedReadCompletion& completion, bool own_time,
                         CommNotifier notifier)
    : port_(port),
      close_event_(close_event),
      timeouts_(timeouts),
      notifier_(std::move(notifier)),
      timing_event_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      own_time_asked_(own_time),
      chunk_(completion) {}

void TReadThread::Start() {
    if (!timing_event_.valid())
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
    thread_ = StartWorkerThread([this] { Run(); });
}

void TReadThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TReadThread::Run() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    if (Prepare() && IssueEventWait() && IssueRead()) {
        while (WaitAndHandle()) {
        }
    }
    DropQueued(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    SettlePendingIo();
}

bool TReadThread::Prepare() {
    read_event_ = CreateOverlappedEvent();
    event_wait_event_ = CreateOverlappedEvent();
    if (!read_event_.valid() || !event_wait_event_.valid()) {
        notifier_.PostHangupRequest();
        return false;
    }
    read_.hEvent = read_event_.get();
    event_wait_.hEvent = event_wait_event_.get();
    // Arriving characters are not watched: data comes through the standing read.
    if (!::SetCommMask(port_, kWatchedEvents)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_NOT_SUPPORTED)
            return EndAfter(error);
        line_events_ = false;
    }
    return true;
}

bool TReadThread::WaitAndHandle() {
    // The close event comes first: when several are signalled the lowest
    // index is reported, so a stop request wins over pending data.
    const bool watching = line_events_;
    const HANDLE waits[4] = {close_event_, watching ? event_wait_.hEvent : read_.hEvent,
                             watching ? read_.hEvent : timing_event_.get(), timing_event_.get()};
    const DWORD count = watching ? 4 : 3;
    // Under its own time the thread wakes up when the chunk is due.
    const DWORD timeout = own_time_ ? MillisecondsUntilDue() : INFINITE;
    const DWORD result = ::WaitForMultipleObjects(count, waits, FALSE, timeout);
    if (result == WAIT_OBJECT_0)
        return false;
    if (result == WAIT_TIMEOUT)
        return KeepOwnTimedReadGoing();
    if (watching && result == WAIT_OBJECT_0 + 1)
        return ProcessCommEvent(true) && IssueEventWait();
    if (result == WAIT_OBJECT_0 + count - 2)
        return CompleteRead() && IssueRead();
    if (result == WAIT_OBJECT_0 + count - 1)
        return TakeOwnTime();
    notifier_.PostHangupRequest();  // WAIT_FAILED or an abandoned wait
    return false;
}

bool TReadThread::IssueRead() {
    if (own_time_asked_ && !own_time_ && !EnterOwnTime())
        return false;
    return own_time_ ? KeepOwnTimedReadGoing() : IssueDriverTimedRead();
}

bool TReadThread::CompleteRead() {
    return own_time_ ? CompleteOwnTimedRead() : CompleteDriverTimedRead();
}

bool TReadThread::IssueDriverTimedRead() {
    for (;;) {
        if (CloseRequested())
            return false;
        const std::optional<DWORD> length = StartRead(static_cast<DWORD>(buffer_.size()));
        if (!length)
            return read_pending_;
        if (!Deliver(*length))
            return false;
    }
}

bool TReadThread::CompleteDriverTimedRead() {
    const std::optional<DWORD> length = FinishPendingRead();
    return length && Deliver(*length);
}

std::optional<DWORD> TReadThread::StartRead(DWORD size) {
    DWORD length = 0;
    if (::ReadFile(port_, buffer_.data(), size, &length, &read_))
        return length;
    const DWORD error = ::GetLastError();
    if (EndedByTotalTimeout(error))
        return length;
    read_pending_ = PendingAfter(error);
    return std::nullopt;
}

std::optional<DWORD> TReadThread::FinishPendingRead() {
    read_pending_ = false;
    DWORD length = 0;
    if (!::GetOverlappedResult(port_, &read_, &length, FALSE)) {
        const DWORD error = ::GetLastError();
        if (!EndedByTotalTimeout(error)) {
            EndAfter(error);
            return std::nullopt;
        }
    }
    return length;
}

// Windows completes a read that the total time-out ends as a success with
// what came; Wine reports it as a failure with ERROR_TIMEOUT. Either way it
// is a short or empty read, not a fault of the port.
bool TReadThread::EndedByTotalTimeout(DWORD error) {
    return error == ERROR_TIMEOUT;
}

// An empty read (a total time-out on a silent line) is not posted and does
// not end the thread: the next read begins after a short pause. False when
// the close event came during the pause.
bool TReadThread::Deliver(DWORD length) {
    if (length > 0) {
        notifier_.DataReceived(buffer_.data(), length);
        return true;
    }
    return ::WaitForSingleObject(close_event_, kEmptyReadPauseMs) == WAIT_TIMEOUT;
}

bool TReadThread::IssueEventWait() {
    while (line_events_) {
        if (CloseRequested())
            return false;
        event_mask_ = 0;
        if (!::WaitCommEvent(port_, &event_mask_, &event_wait_)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NOT_SUPPORTED) {
                line_events_ = false;
                break;
            }
            event_wait_pending_ = PendingAfter(error);
            return event_wait_pending_;
        }
        if (!ProcessCommEvent(false))
            return false;
    }
    return true;
}

bool TReadThread::ProcessCommEvent(bool with_retrieval) {
    if (with_retrieval) {
        event_wait_pending_ = false;
        DWORD unused = 0;
        if (!::GetOverlappedResult(port_, &event_wait_, &unused, FALSE)) {
            const DWORD error = ::GetLastError();
            // Wine lets the wait run a moment on a pseudo-terminal before
            // aborting it: the port reports no line events.
            if (error == ERROR_NOT_SUPPORTED || error == ERROR_OPERATION_ABORTED) {
                line_events_ = false;
                return true;
            }
            return EndAfter(error);
        }
    }
    bool handled = false;
    if ((event_mask_ & EV_ERR) != 0) {
        DWORD line_errors = 0;
        if (!::ClearCommError(port_, &line_errors, nullptr))
            return EndAfter(::GetLastError());
        notifier_.ReceiveError(line_errors);
        handled = true;
    }
    DWORD modem_event = 0;
    if ((event_mask_ & EV_RLSD) != 0)
        modem_event |= MODEM_EVENT_CARRIER;
    if ((event_mask_ & EV_RING) != 0)
        modem_event |= MODEM_EVENT_RING;
    if (modem_event != 0) {
        notifier_.ModemStateChanged(modem_event);
        handled = true;
    }
    // A completed wait with none of the watched events is a fault.
    if (!handled)
        notifier_.PostHangupRequest();
    return handled;
}

bool TReadThread::PendingAfter(DWORD error) {
    if (ClassifyIoFailure(error) == IoFailure::Pending)
        return true;
    return EndAfter(error);
}

bool TReadThread::EndAfter(DWORD error) {
    if (ClassifyIoFailure(error) == IoFailure::Fault)
        notifier_.PostHangupRequest();
    return false;
}

// The system writes into the overlapped records until each operation has
// finished, so none may be released while one is still pending.
void TReadThread::SettlePendingIo() {
    if (!read_pending_ && !event_wait_pending_)
        return;
    ::CancelIo(port_);
    DWORD unused = 0;
    if (read_pending_)
        ::GetOverlappedResult(port_, &read_, &unused, TRUE);
    if (event_wait_pending_)
        ::GetOverlappedResult(port_, &event_wait_, &unused, TRUE);
    read_pending_ = event_wait_pending_ = false;
}

bool TReadThread::CloseRequested() const {
    return ::WaitForSingleObject(close_event_, 0) != WAIT_TIMEOUT;
}

}  // namespace comflash
