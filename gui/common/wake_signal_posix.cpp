// The wake-up as a byte in a pipe whose read end a QSocketNotifier watches.
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>

#include "gui/common/wake_signal.h"

namespace comflash {

struct WakeSignal::Watch {
    int readEnd = -1;
    int writeEnd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

WakeSignal::WakeSignal(std::function<void()> onWake) : watch_(std::make_unique<Watch>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot make the wake-up pipe");
    watch_->readEnd = ends[0];
    watch_->writeEnd = ends[1];
    watch_->notifier = std::make_unique<QSocketNotifier>(watch_->readEnd, QSocketNotifier::Read);
    QObject::connect(watch_->notifier.get(), &QSocketNotifier::activated, watch_->notifier.get(),
                     std::move(onWake));
}

WakeSignal::~WakeSignal() {
    watch_->notifier.reset();
    ::close(watch_->readEnd);
    ::close(watch_->writeEnd);
}

void WakeSignal::Fire() const {
    const char byte = 1;
    // A full pipe (EAGAIN) is readable already: the wake-up is not lost.
    while (::write(watch_->writeEnd, &byte, 1) < 0 && errno == EINTR) {
    }
}

void WakeSignal::Drain() const {
    char bytes[64];
    ssize_t count = 0;
    do {
        count = ::read(watch_->readEnd, bytes, sizeof bytes);
    } while (count > 0 || (count < 0 && errno == EINTR));
}

}  // namespace comflash
