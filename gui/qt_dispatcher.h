// The serial component's events on the GUI thread: its worker threads post
// callables into the Qt event loop instead of calling a handler themselves.
#pragma once

#include <QObject>
#include <functional>

#include "serial/dispatcher.h"

namespace comflash {

class QtDispatcher final : public Dispatcher {
public:
    // Tasks run on the thread that creates the dispatcher.
    QtDispatcher() = default;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    // Any thread. A task still queued when the dispatcher is destroyed is
    // dropped unrun.
    void Post(std::function<void()> task) override;

private:
    // Queued calls travel as events to this object, so its end discards them.
    QObject receiver_;
};

}  // namespace comflash
