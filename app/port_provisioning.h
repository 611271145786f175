// One port's part in serial-number provisioning. When a device's hello is to
// be answered, the port takes the process's one turn and a number from the
// source, before the handshake reply leaves, so that no store wait falls
// between the identity reply and the record. The identity reply sends that
// number. When the device's run is over, a number that never left goes back,
// the turn is given up, and the number's fate goes into the device's record.
#pragma once

#include <optional>
#include <string>

#include "app/serial_number_source.h"
#include "app/serial_provisioning.h"

namespace comflash {

// A number taken for a device and what became of it.
struct SettledNumber {
    std::string number;
    SerialFate fate;
};

class PortProvisioning {
public:
    explicit PortProvisioning(SerialProvisioning& shared) : shared_(shared) {}
    // A port that goes while holding the turn must not keep the others waiting.
    ~PortProvisioning() { shared_.EndTurn(this); }
    PortProvisioning(const PortProvisioning&) = delete;
    PortProvisioning& operator=(const PortProvisioning&) = delete;

    // True when the hello may be answered: this port holds the turn and a
    // number, taken for `port`. False while another port serves a device, or
    // while the source is not available (also when it goes away during the
    // request, SerialSourceAway); the hello then goes unanswered and the
    // device says it again. Raises as the source does when no number can be
    // taken otherwise, and gives the turn up then.
    bool ReadyForDevice(const std::string& port);

    // The identity reply came: the number taken at the hello, to be sent.
    // Empty when this port holds none (a late reply, or one after a refused
    // hello ended the device): the number in flight may be on its way to
    // another port's device, so this device gets nothing.
    std::string TakeNumberToSend();

    // The controller settled a number it sent.
    void Settled(const std::string& number, SerialFate fate);

    // The device holds a number already, so the one taken for it was never
    // sent: it goes back, and is no part of this device's record.
    void ReturnUnsent(const std::string& number);
    // The device came back holding a number whose fate was unknown: written,
    // as the device itself says; it is this device's number.
    void Confirm(const std::string& number);
    SerialProvisioning& Shared() { return shared_; }

    // The device's run is over. A number taken at the hello whose record never
    // left goes back to the source (`not-sent`); raises as the source does,
    // and the number is then a gap. Call EndDevice afterwards in any case.
    void GiveBackUnsent();
    // Gives up the turn; the number and its fate for the device's record,
    // nothing when no number was taken for it.
    std::optional<SettledNumber> EndDevice();

private:
    SerialProvisioning& shared_;
    std::string taken_;  // taken at the hello, until its record leaves
    std::optional<SettledNumber> settled_;
};

}  // namespace comflash
