#include "app/port_provisioning.h"

#include <utility>

namespace comflash {

bool PortProvisioning::ReadyForDevice(const std::string& port) {
    if (taken_.empty() && !shared_.Source().Available())
        return false;
    if (!shared_.TryTurn(this))
        return false;
    if (taken_.empty()) {
        try {
            taken_ = shared_.Source().Take(port, {});
        } catch (const SerialSourceAway&) {
            // The source went away during the request: a pause, not a fault,
            // even when it is back before this port asks again.
            shared_.EndTurn(this);
            return false;
        } catch (...) {
            shared_.EndTurn(this);
            throw;
        }
    }
    return true;
}

std::string PortProvisioning::TakeNumberToSend() {
    return std::exchange(taken_, {});
}

void PortProvisioning::Settled(const std::string& number, SerialFate fate) {
    settled_ = SettledNumber{number, fate};
    shared_.Note(number, fate);
}

void PortProvisioning::ReturnUnsent(const std::string& number) {
    shared_.Note(number, SerialFate::NotSent);
    shared_.Source().Settle(number, SerialFate::NotSent);
}

void PortProvisioning::Confirm(const std::string& number) {
    shared_.Source().Settle(number, SerialFate::Written);
    Settled(number, SerialFate::Written);
}

void PortProvisioning::GiveBackUnsent() {
    if (taken_.empty())
        return;
    const std::string number = std::exchange(taken_, {});
    Settled(number, SerialFate::NotSent);
    shared_.Source().Settle(number, SerialFate::NotSent);
}

std::optional<SettledNumber> PortProvisioning::EndDevice() {
    shared_.EndTurn(this);
    return std::exchange(settled_, std::nullopt);
}

}  // namespace comflash
