#include "serial/posix/transmit_thread_posix.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "serial/posix/line_settings_posix.h"
#include "serial/posix/port_wait_posix.h"
#include "serial/posix/thread_priority_posix.h"
#include "serial/read_deadline.h"
#include "serial/worker_thread.h"

namespace comflash {

TWriteThread::TWriteThread(int port, int close_event, const SharedTimeouts& timeouts,
                           CommNotifier notifier)
    : port_(port), closeEvent_(close_event), timeouts_(timeouts), notifier_(std::move(notifier)) {}

void TWriteThread::Start() {
    if (!wake_.valid())
        throw std::system_error(errno, std::generic_category());
    thread_ = StartWorkerThread([this] { Run(); });
}

void TWriteThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

bool TWriteThread::Queue(std::vector<std::uint8_t> block) {
    if (!queue_.Push(std::move(block)))
        return false;
    wake_.Signal();
    return true;
}

void TWriteThread::Run() {
    RaiseCurrentThreadPriority(ThreadPriority::AboveNormal);
    bool written_since_notice = true;
    for (;;) {
        std::optional<std::vector<std::uint8_t>> block = queue_.Pop();
        if (!block) {
            // One notice per drain, however many blocks went out before it.
            if (written_since_notice)
                notifier_.SendDataEmpty();
            written_since_notice = false;
            if (!WaitForWork())
                break;
            continue;
        }
        if (StopRequested(closeEvent_) || !WriteBlock(*block))
            break;
        written_since_notice = true;
    }
    queue_.Close();
    DropQueued(port_, TCOFLUSH);
}

bool TWriteThread::WaitForWork() {
    switch (WaitForPort(wake_.get(), POLLIN, closeEvent_, std::nullopt)) {
        case PortWait::Ready:
            wake_.Drain();
            return true;
        case PortWait::Stopped:
            return false;
        default:
            notifier_.PostHangupRequest();
            return false;
    }
}

bool TWriteThread::WriteBlock(const std::vector<std::uint8_t>& block) {
    std::size_t offset = 0;
    while (offset < block.size()) {
        // A write that ran out of time goes on with the rest: no byte is dropped.
        const std::optional<std::size_t> written =
            WriteFile(block.data() + offset, block.size() - offset);
        if (!written)
            return false;
        offset += *written;
    }
    return true;
}

std::optional<std::size_t> TWriteThread::WriteFile(const std::uint8_t* data, std::size_t length) {
    const auto deadline = WriteDeadline(timeouts_.Load(), std::chrono::steady_clock::now(), length);
    std::size_t written = 0;
    PortWait wait = PortWait::Ready;
    while (written < length) {
        const ssize_t count = ::write(port_, data + written, length - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        const bool would_block = count < 0 && (errno == EAGAIN || errno == EINTR);
        if (!would_block || wait == PortWait::HungUp) {
            // A closed descriptor is the port handle gone: end quietly.
            if (count == 0 || errno != EBADF)
                notifier_.PostHangupRequest();
            return std::nullopt;
        }
        wait = WaitForPort(port_, POLLOUT, closeEvent_, deadline);
        switch (wait) {
            case PortWait::Ready:
            case PortWait::HungUp:
                break;
            case PortWait::TimedOut:
                return written;
            case PortWait::Stopped:
                return std::nullopt;  // the write is abandoned; the exit purge drops it
            case PortWait::Failed:
                notifier_.PostHangupRequest();
                return std::nullopt;
        }
    }
    return written;
}

}  // namespace comflash
