#include "serial/posix/thread_priority_posix.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace comflash {
namespace {

// A thread that never spins gains its wake-up time and takes nothing else;
// the kernel's real-time throttling would still bound it if it ever did.
// Processes this one starts do not inherit the policy.
bool UseRealTimePolicy() {
    sched_param parameters{};
    parameters.sched_priority = ::sched_get_priority_min(SCHED_RR);
    return ::sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &parameters) == 0;
}

void RaiseNice(int steps) {
    // On Linux a thread id names one thread to setpriority.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    if (errno != 0)
        return;
    ::setpriority(PRIO_PROCESS, thread, nice - steps);
}

}  // namespace

void RaiseCurrentThreadPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Highest) {
        if (!UseRealTimePolicy())
            RaiseNice(2);
        return;
    }
    RaiseNice(1);
}

}  // namespace comflash
