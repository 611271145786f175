// Owned file descriptors, and the eventfd that stands in for a Windows event.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace comflash {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Readable once signalled. Nobody reads the stop event, so like a Windows
// manual-reset event it stays set; a wake event is drained by its waiter.
class EventFd {
public:
    EventFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    bool valid() const { return fd_.valid(); }
    int get() const { return fd_.get(); }
    void Signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd_.get(), &one, sizeof one);
    }
    void Drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(fd_.get(), &count, sizeof count);
    }

private:
    UniqueFd fd_;
};

}  // namespace comflash
