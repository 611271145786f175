// The port on POSIX: a terminal device opened exclusively, raw, non-blocking,
// with a receive and a transmit thread that wait in poll beside a stop event.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "serial/comm_port.h"
#include "serial/comms_error.h"
#include "serial/port_map.h"
#include "serial/port_threads.h"
#include "serial/posix/fd_posix.h"
#include "serial/posix/line_settings_posix.h"
#include "serial/posix/low_latency_posix.h"
#include "serial/posix/open_error_posix.h"
#include "serial/posix/receive_thread_posix.h"
#include "serial/posix/transmit_thread_posix.h"
#include "serial/shared_timeouts.h"

namespace comflash {
namespace {

struct OpenedDevice {
    UniqueFd fd;
    ResolvedPort port;
};

// Exclusive like a Windows open with no sharing. TIOCEXCL (set once the
// device is known to be a terminal) keeps out other users but not root; the
// flock keeps out every opener that locks too, root included, and another
// TComm in this process as well.
OpenedDevice OpenExclusive(const std::string& name, const std::filesystem::path& port_map) {
    OpenedDevice device{UniqueFd(), ResolvePort(name, port_map)};
    const auto fail = [&](int error) {
        return ECommsError(comm_error_text::kCannotOpen,
                           OpenFailureReason(name, device.port, port_map, error));
    };
    if (device.port.path.empty() || device.port.path.front() != '/')
        throw fail(ENOENT);
    device.fd.Reset(::open(device.port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device.fd.valid())
        throw fail(errno);
    if (::flock(device.fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        // Closed first, so that the holders named are the others.
        device.fd.Reset();
        throw fail(error);
    }
    return device;
}

// The opened device must be a terminal with a line behind it. A ttyS node
// without a UART opens, but every call on it fails with EIO.
void CheckTerminal(const OpenedDevice& device, const std::string& name,
                   const std::filesystem::path& port_map) {
    termios attributes{};
    if (::tcgetattr(device.fd.get(), &attributes) == 0)
        return;
    const int error = errno;
    const std::string reason = NoLineReason(name, device.port, port_map, error);
    throw ECommsError(
        IsNoTerminal(error) ? comm_error_text::kNotCommHandle : comm_error_text::kCannotOpen,
        reason);
}

ECommsError SetupFailure(const OpenedDevice& device, const std::string& what) {
    return ECommsError(comm_error_text::kCannotOpen, SetupFailureReason(device.port, what));
}

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

class PosixCommPort final : public CommPort {
public:
    PosixCommPort(UniqueFd port, CommNotifier notifier)
        : port_(std::move(port)), notifier_(std::move(notifier)) {}

    ~PosixCommPort() override {
        // Every wait of both threads watches the close event, so each ends at
        // once; the flush drops what the line still holds.
        threads_.Stop([this](PortDirection direction) {
            closeEvent_.Signal();
            DropQueued(port_.get(), direction == PortDirection::Receive ? TCIFLUSH : TCOFLUSH);
        });
        lowLatency_.Restore(port_.get());
        // Cleared before the close, or the next non-root opener of this
        // terminal would be refused while its other end stays open. A device
        // that is gone refuses it, and takes the mark with it.
        [[maybe_unused]] const bool cleared = ::ioctl(port_.get(), TIOCNXCL) == 0;
    }

    std::string ApplyLineSettings(const LineSettings& settings) override {
        return ApplyLineSettingsToPort(port_.get(), settings);
    }

    // The threads keep the time themselves: nothing reaches the driver.
    std::string ApplyTimeouts(const CommTimeouts& timeouts) override {
        timeouts_.Store(timeouts);
        return {};
    }

    // A read that ends at a unit's last byte gains nothing while an adapter
    // still holds that byte back.
    std::string SetReadCompletion(ReadCompletion completion) override {
        std::string refused;
        if (completion)
            refused = lowLatency_.Request(port_.get());
        completion_.Store(std::move(completion));
        return refused;
    }

    bool Send(std::vector<std::uint8_t> block) override {
        return threads_.Transmit() != nullptr && threads_.Transmit()->Queue(std::move(block));
    }

    void StartThreads() {
        if (!closeEvent_.valid())
            throw ECommsError(comm_error_text::kCannotCreateEvent);
        threads_.Start(
            [this] {
                return std::make_unique<TReadThread>(port_.get(), closeEvent_.get(), timeouts_,
                                                     completion_, notifier_);
            },
            [this] {
                return std::make_unique<TWriteThread>(port_.get(), closeEvent_.get(), timeouts_,
                                                      notifier_);
            });
    }

private:
    UniqueFd port_;
    CommNotifier notifier_;
    EventFd closeEvent_;
    SharedTimeouts timeouts_;
    SharedReadCompletion completion_;
    LowLatency lowLatency_;
    PortThreads<TReadThread, TWriteThread> threads_;
};

}  // namespace

std::unique_ptr<CommPort> OpenCommPort(const std::string& comm_name,
                                       const std::filesystem::path& port_map,
                                       const LineSettings& settings, const CommTimeouts& timeouts,
                                       ReadCompletion completion, CommNotifier notifier) {
    OpenedDevice device = OpenExclusive(comm_name, port_map);
    CheckTerminal(device, comm_name, port_map);
    if (::ioctl(device.fd.get(), TIOCEXCL) != 0)
        throw SetupFailure(device, "exclusive use refused (" + SystemReason(errno) + ")");
    // The kernel sizes a terminal's queues itself: there is no buffer to set
    // up, only what an earlier user left in them to drop.
    if (::tcflush(device.fd.get(), TCIOFLUSH) != 0)
        throw SetupFailure(device, "its queues cannot be emptied (" + SystemReason(errno) + ")");
    auto comm_port = std::make_unique<PosixCommPort>(std::move(device.fd), std::move(notifier));
    if (std::string refused = comm_port->ApplyTimeouts(timeouts); !refused.empty())
        throw SetupFailure(device, refused);
    if (std::string refused = comm_port->ApplyLineSettings(settings); !refused.empty())
        throw SetupFailure(device, refused);
    if (completion) {
        if (std::string refused = comm_port->SetReadCompletion(std::move(completion));
            !refused.empty()) {
            throw SetupFailure(device, refused);
        }
    }
    comm_port->StartThreads();
    return comm_port;
}

}  // namespace comflash
