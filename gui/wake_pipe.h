// A wake-up for the GUI thread that any thread may fire: a byte in a pipe
// whose read end the event loop watches. The worker threads never call into
// Qt, so everything they share with the GUI thread is guarded by our own
// locks, which the thread sanitizer can see.
#pragma once

namespace comflash {

class WakePipe {
public:
    WakePipe();  // throws std::system_error
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // The descriptor that turns readable once fired.
    int ReadEnd() const { return read_; }
    // Any thread.
    void Fire() const;
    // Empties the pipe, so that it is readable again only after the next Fire.
    void Drain() const;

private:
    int read_ = -1;
    int write_ = -1;
};

}  // namespace comflash
