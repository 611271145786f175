#include <pthread.h>
#include <signal.h>

#include <system_error>

#include "serial/worker_thread.h"

namespace comflash {
namespace {

// Blocks the stop signals in the calling thread while it lives, so that a
// thread made meanwhile starts with them blocked: blocking them inside the
// new thread would leave a moment in which a signal could still land there.
class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigset_t stop;
        sigemptyset(&stop);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&stop, signal);
        const int failed = pthread_sigmask(SIG_BLOCK, &stop, &before_);
        if (failed != 0)
            throw std::system_error(failed, std::generic_category(), "pthread_sigmask");
    }
    ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

private:
    sigset_t before_{};
};

}  // namespace

std::thread StartWorkerThread(std::function<void()> body) {
    const StopSignalsBlocked blocked;
    return std::thread(std::move(body));
}

}  // namespace comflash
