// A wake-up for the GUI thread that any thread may fire, built from an
// operating-system object the event loop watches (a pipe on POSIX, an event
// on Windows). The worker threads never call into Qt, so everything they
// share with the GUI thread is guarded by our own locks, which the thread
// sanitizer can see.
#pragma once

#include <functional>
#include <memory>

namespace comflash {

class WakeSignal {
public:
    // onWake runs on the creating thread's event loop after a Fire.
    explicit WakeSignal(std::function<void()> onWake);  // throws std::system_error
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Any thread.
    void Fire() const;
    // Clears the signal, so that it wakes again only after the next Fire.
    void Drain() const;

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace comflash
