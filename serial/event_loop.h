// A small single-thread event loop: the dispatcher of the command line tool
// and of the tests. The thread that runs it owns it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "serial/dispatcher.h"

namespace comflash {

class EventLoop final : public Dispatcher {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Any thread.
    void Post(std::function<void()> task) override;

    // A repeating timer: fires every `interval` counted from now, on the
    // monotonic clock, so late ticks do not push later ones back (ticks missed
    // altogether are skipped, not bunched). Any thread; a callback may add or
    // remove timers, itself included.
    TimerId AddTimer(std::chrono::milliseconds interval, std::function<void()> callback);
    void RemoveTimer(TimerId id);

    // Runs tasks and timers until Quit. Waits without using the processor.
    void Run();
    // Any thread. Ends the innermost running loop; when none runs, the next
    // one returns at once.
    void Quit();
    void RunFor(Clock::duration duration);
    // Runs until `done` holds (checked before waiting and after every task or
    // tick): true, or until the timeout or Quit: false.
    bool RunUntil(const std::function<bool()>& done, Clock::duration timeout);

private:
    struct Timer {
        Clock::duration interval;
        Clock::time_point due;
        std::shared_ptr<std::function<void()>> callback;
    };

    bool RunLoop(std::optional<Clock::time_point> deadline, const std::function<bool()>& done);
    // Under the lock: the next piece of work, or nothing when it is time to
    // stop (`quit` tells a Quit from the deadline).
    std::function<void()> WaitForWork(std::unique_lock<std::mutex>& lock,
                                      std::optional<Clock::time_point> deadline, bool& quit);
    std::function<void()> TakeDueTimer(Clock::time_point now);
    std::optional<Clock::time_point> NextTimerDue() const;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimerId_ = 1;
    bool quitRequested_ = false;
};

}  // namespace comflash
