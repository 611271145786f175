#include "gui/common/qt_dispatcher.h"

#include <utility>

namespace comflash {

QtDispatcher::QtDispatcher() : wake_([this] { RunQueued(); }) {}

void QtDispatcher::Post(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    WakeLocked();
}

void QtDispatcher::WakeLocked() {
    if (wakePending_)
        return;
    wakePending_ = true;
    wake_.Fire();
}

// One task at a time from the head of the queue: a task that opens a modal
// box runs a nested event loop, which goes on with the tasks behind it in
// their order.
void QtDispatcher::RunQueued() {
    {
        const std::lock_guard lock(mutex_);
        wake_.Drain();
        wakePending_ = false;
    }
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
            if (!tasks_.empty())
                WakeLocked();
        }
        task();
    }
}

}  // namespace comflash
