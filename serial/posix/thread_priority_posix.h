// The worker threads' priorities. On Windows a higher thread priority
// preempts normal threads at once; the Linux counterpart of that is a real-time
// policy, as nice levels barely shorten a wake-up on a busy machine.
#pragma once

namespace comflash {

enum class ThreadPriority {
    // THREAD_PRIORITY_HIGHEST: the lowest real-time round-robin priority where
    // the process may use it (root, or an RLIMIT_RTPRIO allowance), else two
    // nice levels up where allowed, else unchanged.
    Highest,
    // THREAD_PRIORITY_ABOVE_NORMAL: one nice level up where allowed.
    AboveNormal,
};

// For the calling thread. Failing to raise is no error: the thread then keeps
// its priority, and only its timing on a busy machine suffers.
void RaiseCurrentThreadPriority(ThreadPriority priority);

}  // namespace comflash
