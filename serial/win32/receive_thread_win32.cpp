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
      closeEvent_(close_event),
      timeouts_(timeouts),
      notifier_(std::move(notifier)),
      timingEvent_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      ownTimeAsked_(own_time),
      chunk_(completion) {}

void TReadThread::Start() {
    if (!timingEvent_.valid())
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
    readEvent_ = CreateOverlappedEvent();
    eventWaitEvent_ = CreateOverlappedEvent();
    if (!readEvent_.valid() || !eventWaitEvent_.valid()) {
        notifier_.PostHangupRequest();
        return false;
    }
    read_.hEvent = readEvent_.get();
    eventWait_.hEvent = eventWaitEvent_.get();
    // Arriving characters are not watched: data comes through the standing read.
    if (!::SetCommMask(port_, kWatchedEvents)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_NOT_SUPPORTED)
            return EndAfter(error);
        lineEvents_ = false;
    }
    return true;
}

bool TReadThread::WaitAndHandle() {
    // The close event comes first: when several are signalled the lowest
    // index is reported, so a stop request wins over pending data.
    const bool watching = lineEvents_;
    const HANDLE waits[4] = {closeEvent_, watching ? eventWait_.hEvent : read_.hEvent,
                             watching ? read_.hEvent : timingEvent_.get(), timingEvent_.get()};
    const DWORD count = watching ? 4 : 3;
    // Under its own time the thread wakes up when the chunk is due.
    const DWORD timeout = ownTime_ ? MillisecondsUntilDue() : INFINITE;
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
    if (ownTimeAsked_ && !ownTime_ && !EnterOwnTime())
        return false;
    return ownTime_ ? KeepOwnTimedReadGoing() : IssueDriverTimedRead();
}

bool TReadThread::CompleteRead() {
    return ownTime_ ? CompleteOwnTimedRead() : CompleteDriverTimedRead();
}

bool TReadThread::IssueDriverTimedRead() {
    for (;;) {
        if (CloseRequested())
            return false;
        const std::optional<DWORD> length = StartRead(static_cast<DWORD>(buffer_.size()));
        if (!length)
            return readPending_;
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
    readPending_ = PendingAfter(error);
    return std::nullopt;
}

std::optional<DWORD> TReadThread::FinishPendingRead() {
    readPending_ = false;
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
    return ::WaitForSingleObject(closeEvent_, kEmptyReadPauseMs) == WAIT_TIMEOUT;
}

bool TReadThread::IssueEventWait() {
    while (lineEvents_) {
        if (CloseRequested())
            return false;
        eventMask_ = 0;
        if (!::WaitCommEvent(port_, &eventMask_, &eventWait_)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NOT_SUPPORTED) {
                lineEvents_ = false;
                break;
            }
            eventWaitPending_ = PendingAfter(error);
            return eventWaitPending_;
        }
        if (!ProcessCommEvent(false))
            return false;
    }
    return true;
}

bool TReadThread::ProcessCommEvent(bool with_retrieval) {
    if (with_retrieval) {
        eventWaitPending_ = false;
        DWORD unused = 0;
        if (!::GetOverlappedResult(port_, &eventWait_, &unused, FALSE)) {
            const DWORD error = ::GetLastError();
            // Wine lets the wait run a moment on a pseudo-terminal before
            // aborting it: the port reports no line events.
            if (error == ERROR_NOT_SUPPORTED || error == ERROR_OPERATION_ABORTED) {
                lineEvents_ = false;
                return true;
            }
            return EndAfter(error);
        }
    }
    bool handled = false;
    if ((eventMask_ & EV_ERR) != 0) {
        DWORD line_errors = 0;
        if (!::ClearCommError(port_, &line_errors, nullptr))
            return EndAfter(::GetLastError());
        notifier_.ReceiveError(line_errors);
        handled = true;
    }
    DWORD modem_event = 0;
    if ((eventMask_ & EV_RLSD) != 0)
        modem_event |= MODEM_EVENT_CARRIER;
    if ((eventMask_ & EV_RING) != 0)
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
    if (!readPending_ && !eventWaitPending_)
        return;
    ::CancelIo(port_);
    DWORD unused = 0;
    if (readPending_)
        ::GetOverlappedResult(port_, &read_, &unused, TRUE);
    if (eventWaitPending_)
        ::GetOverlappedResult(port_, &eventWait_, &unused, TRUE);
    readPending_ = eventWaitPending_ = false;
}

bool TReadThread::CloseRequested() const {
    return ::WaitForSingleObject(closeEvent_, 0) != WAIT_TIMEOUT;
}

}  // namespace comflash
