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

// Exclusive like a Windows open with no sharing. TIOCEXCL keeps out other
// users but not root; the flock keeps out every opener that locks too,
// root included, and another TComm in this process as well.
UniqueFd OpenExclusive(const std::string& name, const std::filesystem::path& port_map) {
    const ResolvedPort port = ResolvePort(name, port_map);
    const auto fail = [&](int error) {
        return ECommsError(comm_error_text::kCannotOpen,
                           OpenFailureReason(name, port, port_map, error));
    };
    if (port.path.empty() || port.path.front() != '/')
        throw fail(ENOENT);
    UniqueFd fd(::open(port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        throw fail(errno);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        // Closed first, so that the holders named are the others.
        fd.Reset();
        throw fail(error);
    }
    return fd;
}

class PosixCommPort final : public CommPort {
public:
    PosixCommPort(UniqueFd port, CommNotifier notifier)
        : port_(std::move(port)), notifier_(std::move(notifier)) {
        ::ioctl(port_.get(), TIOCEXCL);
    }

    ~PosixCommPort() override {
        // Every wait of both threads watches the close event, so each ends at
        // once; the flush drops what the line still holds.
        threads_.Stop([this](PortDirection direction) {
            close_event_.Signal();
            ::tcflush(port_.get(), direction == PortDirection::Receive ? TCIFLUSH : TCOFLUSH);
        });
        low_latency_.Restore(port_.get());
        // Cleared before the close, or the next non-root opener of this
        // terminal would be refused while its other end stays open.
        ::ioctl(port_.get(), TIOCNXCL);
    }

    void ApplyLineSettings(const LineSettings& settings) override {
        ApplyLineSettingsToPort(port_.get(), settings);
    }

    void ApplyTimeouts(const CommTimeouts& timeouts) override { timeouts_.Store(timeouts); }

    // A read that ends at a unit's last byte gains nothing while an adapter
    // still holds that byte back.
    void SetReadCompletion(ReadCompletion completion) override {
        if (completion)
            low_latency_.Request(port_.get());
        completion_.Store(std::move(completion));
    }

    bool Send(std::vector<std::uint8_t> block) override {
        return threads_.Transmit() != nullptr && threads_.Transmit()->Queue(std::move(block));
    }

    void StartThreads() {
        if (!close_event_.valid())
            throw ECommsError(comm_error_text::kCannotCreateEvent);
        threads_.Start(
            [this] {
                return std::make_unique<TReadThread>(port_.get(), close_event_.get(), timeouts_,
                                                     completion_, notifier_);
            },
            [this] {
                return std::make_unique<TWriteThread>(port_.get(), close_event_.get(), timeouts_,
                                                      notifier_);
            });
    }

private:
    UniqueFd port_;
    CommNotifier notifier_;
    EventFd close_event_;
    SharedTimeouts timeouts_;
    SharedReadCompletion completion_;
    LowLatency low_latency_;
    PortThreads<TReadThread, TWriteThread> threads_;
};

}  // namespace

std::unique_ptr<CommPort> OpenCommPort(const std::string& comm_name,
                                       const std::filesystem::path& port_map,
                                       const LineSettings& settings, const CommTimeouts& timeouts,
                                       ReadCompletion completion, CommNotifier notifier) {
    UniqueFd port = OpenExclusive(comm_name, port_map);
    if (!::isatty(port.get()))
        throw ECommsError(comm_error_text::kNotCommHandle);
    // The kernel sizes a terminal's queues itself: there is no buffer to set up.
    ::tcflush(port.get(), TCIOFLUSH);
    auto comm_port = std::make_unique<PosixCommPort>(std::move(port), std::move(notifier));
    comm_port->ApplyTimeouts(timeouts);
    comm_port->ApplyLineSettings(settings);
    if (completion)
        comm_port->SetReadCompletion(std::move(completion));
    comm_port->StartThreads();
    return comm_port;
}

}  // namespace comflash
