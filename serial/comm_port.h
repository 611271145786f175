// What TComm needs from a platform backend: one open port with its receive and
// transmit threads running. Each backend (posix/, win32/) implements it whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "serial/comm_notifier.h"
#include "serial/line_settings.h"
#include "serial/read_completion.h"

namespace comflash {

class CommPort {
public:
    CommPort() = default;
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;
    // Closes the port: stops the receive thread, then the transmit thread,
    // then releases the device. Never waits on the line.
    virtual ~CommPort() = default;

    // Called on the owning thread while the threads run. Each returns what
    // the driver did not take, in the operator's words (empty: all taken);
    // the rest is applied all the same, as a refused value is no reason to
    // stop the port.
    virtual std::string ApplyLineSettings(const LineSettings& settings) = 0;
    virtual std::string ApplyTimeouts(const CommTimeouts& timeouts) = 0;
    // The receive thread takes the rule in force at the first byte of each
    // chunk. Empty: none.
    virtual std::string SetReadCompletion(ReadCompletion completion) = 0;

    // Queues the block to the transmit thread; false once that thread has ended.
    virtual bool Send(std::vector<std::uint8_t> block) = 0;
};

// Opens the port by its name, resolved through `port_map` (see
// ResolvePort), applies the time-outs, line settings and completion rule
// (empty: none) and starts both threads (see PortThreads). Raises
// ECommsError with the component's fixed texts and, where the system can
// say, why; a call that fails or a setting the driver refuses on the way is
// such a failure. Nothing stays open after a failure.
std::unique_ptr<CommPort> OpenCommPort(const std::string& comm_name,
                                       const std::filesystem::path& port_map,
                                       const LineSettings& settings, const CommTimeouts& timeouts,
                                       ReadCompletion completion, CommNotifier notifier);

}  // namespace comflash
