#include <csignal>

#include "tools/sim/stop_signals.h"

namespace comflash::sim {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) {
    stopRequested = 1;
}

}  // namespace

StopSignals::StopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A reader of standard output that went away must not end the device
    // series; the write just fails.
    signal(SIGPIPE, SIG_IGN);

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, &previousMask_);
    waitMask_ = previousMask_;
    sigdelset(&waitMask_, SIGTERM);
    sigdelset(&waitMask_, SIGINT);
}

StopSignals::~StopSignals() {
    sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool StopSignals::Requested() const {
    return stopRequested != 0;
}

}  // namespace comflash::sim
