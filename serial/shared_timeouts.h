// The time-outs, changed on the owning thread while the worker threads run;
// each read or write takes the values in force when it begins, as a Windows
// ReadFile or WriteFile does.
#pragma once

#include <mutex>

#include "serial/line_settings.h"

namespace comflash {

class SharedTimeouts {
public:
    void Store(const CommTimeouts& timeouts) {
        std::lock_guard lock(mutex_);
        timeouts_ = timeouts;
    }
    CommTimeouts Load() const {
        std::lock_guard lock(mutex_);
        return timeouts_;
    }

private:
    mutable std::mutex mutex_;
    CommTimeouts timeouts_;
};

}  // namespace comflash
