#include <pthread.h>
#include <signal.h>

#include <thread>

#include "cli/signal_stop.h"

namespace comflash::cli {

// Blocks SIGINT, SIGTERM and SIGHUP (a closed terminal) in this thread and
// takes them on a thread of its own, which hands the stop to the loop. The
// tool's other threads block them from their start (StartWorkerThread), so
// none of them can be where a signal lands.
struct SignalStop::Watcher {
    sigset_t signals{};
    std::thread thread;
};

namespace {

// A signal the tool was started with ignored stays ignored: the shell's way
// of keeping a background job alive when the terminal goes (nohup, "&").
bool InheritedIgnored(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

SignalStop::SignalStop(EventLoop& loop) : loop_(loop), watcher_(std::make_unique<Watcher>()) {
    sigemptyset(&watcher_->signals);
    // A termination request always ends the run in order.
    sigaddset(&watcher_->signals, SIGTERM);
    for (int signal : {SIGINT, SIGHUP}) {
        if (!InheritedIgnored(signal))
            sigaddset(&watcher_->signals, signal);
    }
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
