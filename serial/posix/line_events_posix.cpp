#include "serial/posix/line_events_posix.h"

#include <sys/ioctl.h>

#include <cerrno>

#include "serial/line_settings.h"

namespace comflash {
namespace {

std::optional<serial_icounter_struct> ReadCounters(int port) {
    serial_icounter_struct counters{};
    if (::ioctl(port, TIOCGICOUNT, &counters) != 0)
        return std::nullopt;
    return counters;
}

std::uint32_t ModemEvents(const serial_icounter_struct& before, const serial_icounter_struct& now) {
    std::uint32_t events = 0;
    if (now.dcd != before.dcd)
        events |= MODEM_EVENT_CARRIER;
    if (now.rng != before.rng)
        events |= MODEM_EVENT_RING;
    return events;
}

// Ends quietly on any failure but EINTR: a driver without TIOCMIWAIT means no
// modem events, and a port that is gone is the receive thread's to report.
void WatchModemLines(int port, const CommNotifier& notifier, const std::atomic<bool>& stop) {
    std::optional<serial_icounter_struct> before = ReadCounters(port);
    while (before && !stop) {
        if (::ioctl(port, TIOCMIWAIT, TIOCM_CD | TIOCM_RNG) != 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        const std::optional<serial_icounter_struct> now = ReadCounters(port);
        if (!now)
            return;
        if (const std::uint32_t events = ModemEvents(*before, *now); events != 0) {
            notifier.ModemStateChanged(events);
        }
        before = now;
    }
}

}  // namespace

LineErrorCounters::LineErrorCounters(int port) : port_(port), last_(ReadCounters(port)) {}

std::uint32_t LineErrorCounters::TakeNewErrors() {
    if (!last_)
        return 0;
    const std::optional<serial_icounter_struct> now = ReadCounters(port_);
    if (!now)
        return 0;
    std::uint32_t errors = 0;
    if (now->buf_overrun != last_->buf_overrun)
        errors |= line_error::kReceiveQueueOverflow;
    if (now->overrun != last_->overrun)
        errors |= line_error::kOverrun;
    if (now->parity != last_->parity)
        errors |= line_error::kParity;
    if (now->frame != last_->frame)
        errors |= line_error::kFraming;
    if (now->brk != last_->brk)
        errors |= line_error::kBreak;
    last_ = now;
    return errors;
}

bool ModemLineWatch::Start(int port, const CommNotifier& notifier) {
    if (!ReadCounters(port))
        return false;
    return thread_.Start(
        [port, notifier](const std::atomic<bool>& stop) { WatchModemLines(port, notifier, stop); });
}

}  // namespace comflash
