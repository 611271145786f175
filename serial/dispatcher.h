// The thread that owns a serial component, seen from the component's worker
// threads: they hand it callables instead of calling a handler themselves.
#pragma once

#include <functional>

namespace comflash {

class Dispatcher {
public:
    virtual ~Dispatcher();

    // Thread-safe. Runs the task later on the dispatcher's own thread; tasks
    // posted from one thread run in the order they were posted.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace comflash
