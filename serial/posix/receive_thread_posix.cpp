#include "serial/posix/receive_thread_posix.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/posix/line_events_posix.h"
#include "serial/posix/line_settings_posix.h"
#include "serial/posix/port_wait_posix.h"
#include "serial/posix/thread_priority_posix.h"
#include "serial/worker_thread.h"

namespace comflash {

TReadThread::TReadThread(int port, int close_event, const SharedTimeouts& timeouts,
                         const SharedReadCompletion& completion, CommNotifier notifier)
    : port_(port),
      closeEvent_(close_event),
      timeouts_(timeouts),
      notifier_(std::move(notifier)),
      chunk_(completion) {}

void TReadThread::Start() {
    thread_ = StartWorkerThread([this] { Run(); });
}

void TReadThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TReadThread::Run() {
    // A burst's chunk leaves on time even while the machine is busy.
    RaiseCurrentThreadPriority(ThreadPriority::Highest);
    LineErrorCounters line_errors(port_);
    ModemLineWatch modem_lines;
    modem_lines.Start(port_, notifier_);
    while (IssueRead(line_errors)) {
    }
    modem_lines.Stop();
    DropQueued(port_, TCIFLUSH);
}

bool TReadThread::IssueRead(LineErrorCounters& line_errors) {
    chunk_.Begin(timeouts_.Load(), ReceiveChunk::Clock::now());
    for (;;) {
        if (const std::size_t ready = chunk_.ReadyNow(); ready > 0) {
            Deliver(ready);
            return true;
        }
        const PortWait wait = WaitForPort(port_, POLLIN, closeEvent_, chunk_.Deadline());
        if (wait == PortWait::Stopped)
            return false;
        if (wait == PortWait::Failed)
            return EndOnReadFailure(errno);
        if (wait == PortWait::TimedOut) {
            if (chunk_.Held() > 0) {
                Deliver(chunk_.Held());
                return true;
            }
            chunk_.Restart(ReceiveChunk::Clock::now());
            continue;
        }
        const ssize_t count = ::read(port_, chunk_.Space(), chunk_.SpaceLeft());
        if (count > 0) {
            chunk_.Arrived(static_cast<std::size_t>(count), ReceiveChunk::Clock::now());
            if (const std::uint32_t errors = line_errors.TakeNewErrors(); errors != 0) {
                notifier_.ReceiveError(errors);
            }
            continue;
        }
        const bool would_block = count < 0 && (errno == EAGAIN || errno == EINTR);
        if (would_block && wait == PortWait::Ready)
            continue;
        // End of file, an error, or a hang-up with nothing left to read: the
        // line is gone, and waiting again would only spin.
        return EndOnReadFailure(count == 0 || would_block ? EIO : errno);
    }
}

bool TReadThread::EndOnReadFailure(int error) {
    if (chunk_.Held() > 0)
        Deliver(chunk_.Held());
    // A closed descriptor is the port handle gone: end quietly, like
    // ERROR_INVALID_HANDLE on Windows.
    if (error != EBADF)
        notifier_.PostHangupRequest();
    return false;
}

void TReadThread::Deliver(std::size_t length) {
    notifier_.DataReceived(chunk_.Data(), length);
    chunk_.Delivered(length);
}

}  // namespace comflash
