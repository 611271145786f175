// The receive thread under its own time, from the owner's first completion
// rule on. The driver's read-interval time-out can only end a read some time
// after the last byte, never at the end of a unit, so the reads here return
// as soon as bytes have come, and the thread itself gathers them into chunks:
// a whole unit goes at once, and the owner's time-outs (the interval above
// all) end every other chunk as the driver would have.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "serial/win32/receive_thread_win32.h"

namespace comflash {
namespace {

using Clock = ReceiveChunk::Clock;

// A read waits this long for its first byte: in effect, for ever.
constexpr DWORD kWaitForFirstByteMs = MAXDWORD - 1;

}  // namespace

bool TReadThread::TakeOwnTime() {
    if (ownTime_) {
        // New write time-outs; the pending read runs on.
        return SetOwnTimeTimeouts() || EndAfter(::GetLastError());
    }
    // The read pending under the driver's time-outs runs to its end: cutting
    // it short could lose the bytes it holds. Own time begins with the next.
    ownTimeAsked_ = true;
    return true;
}

bool TReadThread::EnterOwnTime() {
    ownTime_ = true;
    if (!SetOwnTimeTimeouts())
        return EndAfter(::GetLastError());
    chunk_.Begin(timeouts_.Load(), Clock::now());
    return true;
}

// A read returns at its first byte with what has come by then; until that
// byte it waits. (Wine takes the multiplier MAXDWORD as a real one, so a read
// there returns only once it has every byte it asked for: BytesToRead never
// asks for more than has come.) The owner's write time-outs stay in force.
// A driver that refuses them leaves reads it cannot time: false, with the
// system's error to end on.
bool TReadThread::SetOwnTimeTimeouts() {
    const CommTimeouts owner = timeouts_.Load();
    COMMTIMEOUTS driver{};
    driver.ReadIntervalTimeout = MAXDWORD;
    driver.ReadTotalTimeoutMultiplier = MAXDWORD;
    driver.ReadTotalTimeoutConstant = kWaitForFirstByteMs;
    driver.WriteTotalTimeoutMultiplier = owner.WriteTotalTimeoutMultiplier;
    driver.WriteTotalTimeoutConstant = owner.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(port_, &driver) != FALSE;
}

bool TReadThread::KeepOwnTimedReadGoing() {
    for (;;) {
        if (CloseRequested())
            return false;
        DeliverDueChunks();
        if (readPending_)
            return true;
        const std::optional<DWORD> length = StartRead(BytesToRead());
        if (!length)
            return readPending_;
        if (!OwnTimedReadEnded(*length))
            return false;
    }
}

bool TReadThread::CompleteOwnTimedRead() {
    const std::optional<DWORD> length = FinishPendingRead();
    return length && OwnTimedReadEnded(*length);
}

// Reads here wait for their first byte, so an empty one is a driver that
// completes reads at once: it gets the pause.
bool TReadThread::OwnTimedReadEnded(DWORD length) {
    if (length == 0)
        return ::WaitForSingleObject(closeEvent_, kEmptyReadPauseMs) == WAIT_TIMEOUT;
    std::memcpy(chunk_.Space(), buffer_.data(), length);
    chunk_.Arrived(length, Clock::now());
    return true;
}

// What the driver already holds, to fit the chunk; one byte, to wait for,
// when it holds nothing. Asking for the queue's count also takes the line's
// error flags, so they are reported here.
DWORD TReadThread::BytesToRead() {
    DWORD errors = 0;
    COMSTAT status{};
    std::size_t queued = 0;
    if (::ClearCommError(port_, &errors, &status)) {
        queued = status.cbInQue;
        if (errors != 0)
            notifier_.ReceiveError(errors);
    }
    return static_cast<DWORD>(std::clamp<std::size_t>(queued, 1, chunk_.SpaceLeft()));
}

void TReadThread::DeliverDueChunks() {
    for (;;) {
        if (const std::size_t ready = chunk_.ReadyNow(); ready > 0) {
            DeliverChunk(ready);
            continue;
        }
        const Clock::time_point now = Clock::now();
        const std::optional<Clock::time_point> deadline = chunk_.Deadline();
        if (!deadline || now < *deadline)
            return;
        if (chunk_.Held() == 0) {
            chunk_.Restart(now);  // a read never completes empty
            return;
        }
        DeliverChunk(chunk_.Held());
    }
}

void TReadThread::DeliverChunk(std::size_t length) {
    notifier_.DataReceived(chunk_.Data(), length);
    chunk_.Delivered(length);
    chunk_.Begin(timeouts_.Load(), Clock::now());
}

// Rounded up, so that the thread never wakes before the chunk is due.
DWORD TReadThread::MillisecondsUntilDue() const {
    const std::optional<Clock::time_point> deadline = chunk_.Deadline();
    if (!deadline)
        return INFINITE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 0, kWaitForFirstByteMs));
}

}  // namespace comflash
