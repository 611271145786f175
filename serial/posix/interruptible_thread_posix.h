// A thread whose body may block in a system call that nothing but a signal
// ends, such as TIOCMIWAIT. Stop() signals it until the body has returned, so
// a signal sent just before the body blocks cannot be lost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace comflash {

class InterruptibleThread {
public:
    // The body loops while `stop_requested` is false; a blocking call that
    // fails with EINTR is its cue to look again.
    using Body = std::function<void(const std::atomic<bool>& stop_requested)>;

    InterruptibleThread() = default;
    InterruptibleThread(const InterruptibleThread&) = delete;
    InterruptibleThread& operator=(const InterruptibleThread&) = delete;
    ~InterruptibleThread() { Stop(); }

    // False when the wake signal is in use by someone else (nothing started),
    // or the thread could not be created.
    bool Start(Body body);
    void Stop();

private:
    void Run(const Body& body);

    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

}  // namespace comflash
