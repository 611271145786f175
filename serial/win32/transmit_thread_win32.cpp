#include "serial/win32/transmit_thread_win32.h"
#include "serial/worker_thread.h"

#include <optional>
#include <system_error>

namespace comflash {

TWriteThread::TWriteThread(HANDLE port, HANDLE close_event, CommNotifier notifier)
    : port_(port),
      closeEvent_(close_event),
      notifier_(std::move(notifier)),
      wakeEvent_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

void TWriteThread::Start() {
    if (!wakeEvent_.valid()) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
    }
    thread_ = StartWorkerThread([this] { Run(); });
}

void TWriteThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

bool TWriteThread::Queue(std::vector<std::uint8_t> block) {
    if (!queue_.Push(std::move(block)))
        return false;
    ::SetEvent(wakeEvent_.get());
    return true;
}

void TWriteThread::Run() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    // Outlives the loop: a write abandoned on the stop request may still read
    // from it until the exit purge below has settled it.
    std::optional<std::vector<std::uint8_t>> block;
    writeEvent_ = CreateOverlappedEvent();
    if (!writeEvent_.valid()) {
        notifier_.PostHangupRequest();
    } else {
        write_.hEvent = writeEvent_.get();
        bool written_since_notice = true;
        for (;;) {
            block = queue_.Pop();
            if (!block) {
                // One notice per drain, however many blocks went out before it.
                if (written_since_notice)
                    notifier_.SendDataEmpty();
                written_since_notice = false;
                if (!WaitForWork())
                    break;
                continue;
            }
            if (::WaitForSingleObject(closeEvent_, 0) != WAIT_TIMEOUT)
                break;
            if (!WriteBlock(*block))
                break;
            written_since_notice = true;
        }
    }
    queue_.Close();
    DropQueued(port_, PURGE_TXABORT | PURGE_TXCLEAR);
    SettlePendingIo();
}

bool TWriteThread::WaitForWork() {
    const HANDLE waits[2] = {closeEvent_, wakeEvent_.get()};
    const DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0 + 1)
        return true;
    if (result != WAIT_OBJECT_0)
        notifier_.PostHangupRequest();
    return false;
}

bool TWriteThread::WriteBlock(const std::vector<std::uint8_t>& block) {
    const HANDLE waits[2] = {closeEvent_, writeEvent_.get()};
    std::size_t offset = 0;
    while (offset < block.size()) {
        const DWORD length = static_cast<DWORD>(block.size() - offset);
        DWORD written = 0;
        if (!::WriteFile(port_, block.data() + offset, length, &written, &write_)) {
            const DWORD error = ::GetLastError();
            if (ClassifyIoFailure(error) != IoFailure::Pending)
                return EndAfter(error);
            writePending_ = true;
            const DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            // On the stop request the write is abandoned; the exit purge aborts it.
            if (result == WAIT_OBJECT_0)
                return false;
            if (result != WAIT_OBJECT_0 + 1) {
                notifier_.PostHangupRequest();
                return false;
            }
            writePending_ = false;
            if (!::GetOverlappedResult(port_, &write_, &written, TRUE)) {
                return EndAfter(::GetLastError());
            }
        }
        // A write cut short by the write time-outs goes on with the rest.
        offset += written;
    }
    return true;
}

bool TWriteThread::EndAfter(DWORD error) {
    if (ClassifyIoFailure(error) == IoFailure::Fault)
        notifier_.PostHangupRequest();
    return false;
}

// The system writes into the overlapped record until the write has finished,
// so it may not be released while the write is pending.
void TWriteThread::SettlePendingIo() {
    if (!writePending_)
        return;
    ::CancelIo(port_);
    DWORD unused = 0;
    ::GetOverlappedResult(port_, &write_, &unused, TRUE);
    writePending_ = false;
}

}  // namespace comflash
