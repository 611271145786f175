#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "gui/wake_pipe.h"

namespace comflash {

WakePipe::WakePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot make the wake-up pipe");
    read_ = ends[0];
    write_ = ends[1];
}

WakePipe::~WakePipe() {
    ::close(read_);
    ::close(write_);
}

void WakePipe::Fire() const {
    const char byte = 1;
    // A full pipe (EAGAIN) is readable already: the wake-up is not lost.
    while (::write(write_, &byte, 1) < 0 && errno == EINTR) {
    }
}

void WakePipe::Drain() const {
    char bytes[64];
    ssize_t count = 0;
    do {
        count = ::read(read_, bytes, sizeof bytes);
    } while (count > 0 || (count < 0 && errno == EINTR));
}

}  // namespace comflash
