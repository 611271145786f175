#include "serial/comm_notifier.h"

#include <vector>

#include "serial/comm.h"

namespace comflash {
namespace {

// A handler may reassign or clear its own event while it runs, so it is
// called through a copy.
template <typename Event, typename... Args>
void FireIfAssigned(const Event& event, TComm& sender, Args... args) {
    if (Event handler = event)
        handler(sender, args...);
}

}  // namespace

template <typename Fire>
void CommNotifier::PostToOwner(Fire fire) const {
    dispatcher_->Post([link = link_, fire = std::move(fire)] {
        if (const std::shared_ptr<CommLink> alive = link.lock())
            fire(*alive->comm);
    });
}

void CommNotifier::DataReceived(const std::uint8_t* data, std::size_t length) const {
    PostToOwner([chunk = std::vector<std::uint8_t>(data, data + length)](TComm& comm) {
        FireIfAssigned(comm.OnReceiveData, comm, chunk.data(),
                       static_cast<std::uint16_t>(chunk.size()));
    });
}

void CommNotifier::ReceiveError(std::uint32_t line_errors) const {
    PostToOwner(
        [line_errors](TComm& comm) { FireIfAssigned(comm.OnReceiveError, comm, line_errors); });
}

void CommNotifier::ModemStateChanged(std::uint32_t modem_event) const {
    PostToOwner(
        [modem_event](TComm& comm) { FireIfAssigned(comm.OnModemStateChange, comm, modem_event); });
}

void CommNotifier::PostHangupRequest() const {
    PostToOwner([](TComm& comm) { FireIfAssigned(comm.OnRequestHangup, comm); });
}

void CommNotifier::SendDataEmpty() const {
    PostToOwner([](TComm& comm) { FireIfAssigned(comm.OnSendDataEmpty, comm); });
}

}  // namespace comflash
