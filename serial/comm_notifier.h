// How the worker threads of one open port reach the component's events: every
// notice is posted to the owning thread's dispatcher, never called directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "serial/dispatcher.h"

namespace comflash {

class TComm;

// Lives as long as one open session of a component. Posted notices hold it
// weakly, so those still queued when the port is closed or the component is
// destroyed are dropped instead of calling into freed memory.
struct CommLink {
    TComm* comm;
};

// Copyable and safe to use from any thread.
class CommNotifier {
public:
    CommNotifier(Dispatcher& dispatcher, std::weak_ptr<CommLink> link)
        : dispatcher_(&dispatcher), link_(std::move(link)) {}

    // Copies the bytes; 1 to kReceiveBufferSize of them.
    void DataReceived(const std::uint8_t* data, std::size_t length) const;
    void ReceiveError(std::uint32_t line_errors) const;
    void ModemStateChanged(std::uint32_t modem_event) const;
    void PostHangupRequest() const;
    void SendDataEmpty() const;

private:
    template <typename Fire>
    void PostToOwner(Fire fire) const;

    Dispatcher* dispatcher_;
    std::weak_ptr<CommLink> link_;
};

}  // namespace comflash
