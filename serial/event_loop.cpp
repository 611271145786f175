#include "serial/event_loop.h"

#include <algorithm>

namespace comflash {

void EventLoop::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

EventLoop::TimerId EventLoop::AddTimer(std::chrono::milliseconds interval,
                                       std::function<void()> callback) {
    const Clock::duration period =
        std::max<Clock::duration>(interval, std::chrono::milliseconds(1));
    TimerId id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextTimerId_++;
        timers_.emplace(id, Timer{period, Clock::now() + period,
                                  std::make_shared<std::function<void()>>(std::move(callback))});
    }
    wake_.notify_one();
    return id;
}

void EventLoop::RemoveTimer(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void EventLoop::Run() {
    RunLoop(std::nullopt, nullptr);
}

void EventLoop::Quit() {
    {
        std::lock_guard lock(mutex_);
        quitRequested_ = true;
    }
    wake_.notify_all();
}

void EventLoop::RunFor(Clock::duration duration) {
    RunLoop(Clock::now() + duration, nullptr);
}

bool EventLoop::RunUntil(const std::function<bool()>& done, Clock::duration timeout) {
    return RunLoop(Clock::now() + timeout, done);
}

bool EventLoop::RunLoop(std::optional<Clock::time_point> deadline,
                        const std::function<bool()>& done) {
    for (;;) {
        if (done && done())
            return true;
        bool quit = false;
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            work = WaitForWork(lock, deadline, quit);
        }
        if (!work)
            return !quit && done && done();
        work();
    }
}

std::function<void()> EventLoop::WaitForWork(std::unique_lock<std::mutex>& lock,
                                             std::optional<Clock::time_point> deadline,
                                             bool& quit) {
    for (;;) {
        if (quitRequested_) {
            quitRequested_ = false;
            quit = true;
            return nullptr;
        }
        const Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline)
            return nullptr;
        // Timers first: a due timer moves on past `now` when taken, so a
        // stream of posts cannot starve the ticks, nor ticks the posts.
        if (auto tick = TakeDueTimer(now))
            return tick;
        if (!tasks_.empty()) {
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            return task;
        }
        std::optional<Clock::time_point> wake_at = NextTimerDue();
        if (deadline && (!wake_at || *deadline < *wake_at))
            wake_at = deadline;
        if (wake_at) {
            wake_.wait_until(lock, *wake_at);
        } else {
            wake_.wait(lock);
        }
    }
}

std::function<void()> EventLoop::TakeDueTimer(Clock::time_point now) {
    auto earliest = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= now &&
            (earliest == timers_.end() || it->second.due < earliest->second.due)) {
            earliest = it;
        }
    }
    if (earliest == timers_.end())
        return nullptr;
    Timer& timer = earliest->second;
    const auto missed = (now - timer.due) / timer.interval;
    timer.due += timer.interval * (missed + 1);
    // The callback may remove its own timer while it runs.
    return [callback = timer.callback] { (*callback)(); };
}

std::optional<EventLoop::Clock::time_point> EventLoop::NextTimerDue() const {
    std::optional<Clock::time_point> next;
    for (const auto& [id, timer] : timers_) {
        if (!next || timer.due < *next)
            next = timer.due;
    }
    return next;
}

}  // namespace comflash
