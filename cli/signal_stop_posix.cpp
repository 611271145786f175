#include <pthread.h>
#include <signal.h>

#include <thread>

#include "cli/signal_stop.h"

namespace comflash::cli {

// Blocks SIGINT, SIGTERM and SIGHUP (a closed terminal) in every thread
// started afterwards and takes them on a thread of its own, which hands the
// stop to the loop.
struct SignalStop::Watcher {
    sigset_t signals{};
    std::thread thread;
};

SignalStop::SignalStop(EventLoop& loop) : loop_(loop), watcher_(std::make_unique<Watcher>()) {
    sigemptyset(&watcher_->signals);
    sigaddset(&watcher_->signals, SIGINT);
    sigaddset(&watcher_->signals, SIGTERM);
    sigaddset(&watcher_->signals, SIGHUP);
    sigaddset(&watcher_->signals, SIGUSR1);  // our own wake-up at the end
    pthread_sigmask(SIG_BLOCK, &watcher_->signals, nullptr);
    // A closed standard output (comflash-cli | head) must not end the tool in
    // the middle of a device: its writes fail instead, and the run goes on.
    ::signal(SIGPIPE, SIG_IGN);
    watcher_->thread = std::thread([this] {
        int signal = 0;
        while (sigwait(&watcher_->signals, &signal) == 0) {
            if (signal == SIGUSR1)
                return;
            Stop();
        }
    });
}

SignalStop::~SignalStop() {
    pthread_kill(watcher_->thread.native_handle(), SIGUSR1);
    watcher_->thread.join();
}

}  // namespace comflash::cli
