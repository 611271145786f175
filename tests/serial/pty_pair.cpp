#include "tests/serial/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <random>
#include <stdexcept>

namespace comflash::test {

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::Write(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal failed");
        }
        pollfd writable{master_, POLLOUT, 0};
        ::poll(&writable, 1, 1000);
    }
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    // Polls at least once, so a zero timeout reads what has already arrived.
    for (bool first = true; bytes.size() < count; first = false) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !first)
            break;
        pollfd readable{master_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0)
            continue;
        const std::size_t wanted = std::min(sizeof buffer, count - bytes.size());
        const ssize_t got = ::read(master_, buffer, wanted);
        if (got > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }
    return bytes;
}

termios PtyPair::LineAttributes() const {
    termios attributes{};
    ::tcgetattr(master_, &attributes);
    return attributes;
}

speed_t PtyPair::LineSpeed() const {
    const termios attributes = LineAttributes();
    return cfgetospeed(&attributes);
}

void PtyPair::SetLineAttributes(const termios& attributes) const {
    ::tcsetattr(master_, TCSANOW, &attributes);
}

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(length);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::chrono::nanoseconds ProcessCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace comflash::test
