// A thread blocked in a system call that only a signal ends must still stop,
// however the stop request and the blocking call interleave.
#include "serial/posix/interruptible_thread_posix.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "tests/support/patience.h"

namespace comflash {
namespace {

TEST(InterruptibleThreadTest, StopEndsABodyBlockedInASystemCall) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    // Half the rounds stop at once, so that some stops land before the body
    // has blocked; the others stop a body that is surely blocked.
    for (int round = 0; round < 100; ++round) {
        InterruptibleThread thread;
        std::atomic<bool> started{false};
        // Started from a thread that blocks every signal, as a program may.
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &previous);
        ASSERT_TRUE(thread.Start([&](const std::atomic<bool>& stop) {
            started = true;
            char byte;
            while (!stop) {
                // Nobody ever writes: only the wake signal ends this read.
                [[maybe_unused]] const ssize_t got = ::read(pipe_ends[0], &byte, 1);
            }
        }));
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (round % 2 == 1) {
            while (!started)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        auto stopped = std::async(std::launch::async, [&] { thread.Stop(); });
        if (stopped.wait_for(testing::Patience(std::chrono::seconds(20))) !=
            std::future_status::ready) {
            ADD_FAILURE() << "Stop() did not end the blocked body (round " << round << ")";
            std::abort();
        }
    }
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
}

}  // namespace
}  // namespace comflash
