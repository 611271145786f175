// Ends the event loop on Ctrl-C, a termination request or a closed terminal,
// so that ports are closed, the record and the store are complete and the
// summary is written.
#pragma once

#include <atomic>
#include <memory>

#include "serial/event_loop.h"

namespace comflash::cli {

class SignalStop {
public:
    // Construct before any other thread starts.
    explicit SignalStop(EventLoop& loop);
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // Any thread: what a signal does.
    void Stop() {
        stopped_ = true;
        loop_.Quit();
    }
    bool Stopped() const { return stopped_; }

private:
    struct Watcher;
    EventLoop& loop_;
    std::atomic<bool> stopped_{false};
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace comflash::cli
