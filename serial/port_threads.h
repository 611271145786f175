// The two worker threads of an open port, started and stopped in the one
// order every backend shares: the receive thread first, then the transmit
// thread, both ways. Stopping the receive side first means no further chunk
// is posted while the rest of the port is taken down.
#pragma once

#include <memory>
#include <system_error>

#include "serial/comms_error.h"

namespace comflash {

enum class PortDirection { Receive, Transmit };

template <typename ReadThread, typename WriteThread>
class PortThreads {
public:
    // Builds and starts the receive thread, then the transmit thread. A thread
    // that cannot be created raises the component's fixed text for it; one
    // already running stays for Stop.
    template <typename MakeRead, typename MakeWrite>
    void Start(MakeRead makeRead, MakeWrite makeWrite) {
        read_ = StartOne(makeRead, comm_error_text::kCannotCreateReadThread);
        write_ = StartOne(makeWrite, comm_error_text::kCannotCreateWriteThread);
    }

    // Ends each running thread in turn: `interrupt(direction)` wakes its waits
    // and drops what the line holds in that direction, then it is joined.
    template <typename Interrupt>
    void Stop(Interrupt interrupt) {
        if (read_) {
            interrupt(PortDirection::Receive);
            read_.reset();
        }
        if (write_) {
            interrupt(PortDirection::Transmit);
            write_.reset();
        }
    }

    // Null until started, or when it could not be.
    ReadThread* Receive() const { return read_.get(); }
    WriteThread* Transmit() const { return write_.get(); }

private:
    template <typename Make>
    static auto StartOne(Make make, const char* failure) {
        try {
            auto thread = make();
            thread->Start();
            return thread;
        } catch (const std::system_error&) {
            throw ECommsError(failure);
        }
    }

    std::unique_ptr<ReadThread> read_;
    std::unique_ptr<WriteThread> write_;
};

}  // namespace comflash
