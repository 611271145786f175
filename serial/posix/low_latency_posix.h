// A serial driver's low-latency mode: a USB adapter otherwise holds received
// bytes for its latency timer (16 ms on the common chips) before the host
// sees them, which a read that ends at a unit's last byte would wait for.
#pragma once

#include <optional>
#include <string>

namespace comflash {

class LowLatency {
public:
    // Asks the driver of `port` for low latency, once per port. A driver
    // without that mode (a pseudo-terminal has none) is left as it is,
    // without a word. Returns what a driver that has the mode said when it
    // refused it, in the operator's words; empty otherwise.
    std::string Request(int port);
    // Puts the driver's setting back as it was before Request.
    void Restore(int port);

private:
    bool requested_ = false;
    std::optional<int> restoreFlags_;  // set when Request changed them
};

}  // namespace comflash
