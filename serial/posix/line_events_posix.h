// Line errors and modem-line changes, for drivers that count them
// (TIOCGICOUNT) and wait for them (TIOCMIWAIT). A pseudo-terminal does neither
// (ENOTTY): it then simply reports no line events.
#pragma once

#include <linux/serial.h>

#include <cstdint>
#include <optional>

#include "serial/comm_notifier.h"
#include "serial/posix/interruptible_thread_posix.h"

namespace comflash {

// Framing, overrun, parity and break errors come with received bytes, so the
// receive thread looks at the counters after each read.
class LineErrorCounters {
public:
    // Takes the first reading; Supported() is false when the driver has no counters.
    explicit LineErrorCounters(int port);
    bool Supported() const { return last_.has_value(); }
    // line_error:: flags for the counters that moved since the last call; 0 for none.
    std::uint32_t TakeNewErrors();

private:
    int port_;
    std::optional<serial_icounter_struct> last_;
};

// Carrier-detect and ring changes, waited for in the kernel by a thread of
// their own that Stop() interrupts with a signal.
class ModemLineWatch {
public:
    // False when the driver has no modem-line counters or the watch cannot run.
    bool Start(int port, const CommNotifier& notifier);
    void Stop() { thread_.Stop(); }

private:
    InterruptibleThread thread_;
};

}  // namespace comflash
