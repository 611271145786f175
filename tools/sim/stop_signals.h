// SIGTERM and SIGINT ask the simulator to stop after reporting what is done.
// They are blocked except while it waits, so a stop never slips in between
// a check and the wait that follows it.
#pragma once

#include <signal.h>

namespace comflash::sim {

class StopSignals {
public:
    StopSignals();  // installs the handlers; one instance per process
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Requested() const;
    // The signal mask to wait with (ppoll): the stop signals let through.
    const sigset_t* WaitMask() const { return &waitMask_; }

private:
    sigset_t previousMask_;
    sigset_t waitMask_;
};

}  // namespace comflash::sim
