// The serial component's events on the GUI thread: its worker threads queue
// callables here, and the Qt event loop runs them, in the order they were
// posted, also inside the nested loop of a modal box.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "gui/common/wake_signal.h"
#include "serial/dispatcher.h"

namespace comflash {

class QtDispatcher final : public Dispatcher {
public:
    // Tasks run on the thread that creates the dispatcher.
    QtDispatcher();
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    // Any thread. A task still queued when the dispatcher is destroyed is
    // dropped unrun.
    void Post(std::function<void()> task) override;

private:
    void RunQueued();
    // Under the lock: makes sure the event loop comes back for the queue.
    void WakeLocked();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool wakePending_ = false;  // fired, not yet drained
    WakeSignal wake_;
};

}  // namespace comflash
