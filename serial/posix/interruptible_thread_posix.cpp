#include "serial/posix/interruptible_thread_posix.h"
#include "serial/worker_thread.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <system_error>

namespace comflash {
namespace {

// A real-time signal that nothing else in this program uses. Its handler does
// nothing: the point is the EINTR it leaves in the blocked call.
int WakeSignal() {
    return SIGRTMAX - 2;
}

extern "C" void IgnoreWakeSignal(int) {}

// Installed once, without SA_RESTART, and only while the signal still has its
// default action, so a handler someone else set is never replaced.
bool WakeSignalReady() {
    static const bool ready = [] {
        struct sigaction current {};
        if (::sigaction(WakeSignal(), nullptr, &current) != 0)
            return false;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL)
            return false;
        struct sigaction wake {};
        wake.sa_handler = IgnoreWakeSignal;
        sigemptyset(&wake.sa_mask);
        wake.sa_flags = 0;
        return ::sigaction(WakeSignal(), &wake, nullptr) == 0;
    }();
    return ready;
}

}  // namespace

bool InterruptibleThread::Start(Body body) {
    if (thread_.joinable() || !WakeSignalReady())
        return false;
    stopRequested_ = false;
    finished_ = false;
    try {
        thread_ = StartWorkerThread([this, body = std::move(body)] { Run(body); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void InterruptibleThread::Run(const Body& body) {
    // A thread inherits its creator's signal mask, which may block the wake signal.
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, WakeSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
    body(stopRequested_);
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    finishedChanged_.notify_all();
}

void InterruptibleThread::Stop() {
    if (!thread_.joinable())
        return;
    stopRequested_ = true;
    {
        std::unique_lock lock(mutex_);
        while (!finished_) {
            ::pthread_kill(thread_.native_handle(), WakeSignal());
            finishedChanged_.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    thread_.join();
}

}  // namespace comflash
