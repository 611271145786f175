// Which adapter is behind a serial device: on a bench with several USB
// adapters, a port name goes to whichever adapter the system enumerates
// first, so a port that comes back may be another one.
#pragma once

#include <string>

namespace comflash {

struct AdapterIdentity {
    // USB vendor and product ids, "0403:6001"; empty when the device is no
    // USB adapter or the system does not say.
    std::string usbId;
    // The adapter's own USB serial number; empty when it has none.
    std::string serialNumber;
    // The maker and product as the adapter names itself.
    std::string description;
    // Where it is plugged in (the USB port path, "1-1.2"), or which built-in
    // UART it is.
    std::string location;

    bool Known() const { return !usbId.empty() || !location.empty(); }
    friend bool operator==(const AdapterIdentity&, const AdapterIdentity&) = default;
};

// What the system says of the adapter behind the device `devicePath` (a
// symbolic link such as /dev/serial/by-id/... is followed). Nothing known
// when the system keeps no record of it (a pseudo-terminal) or has no way to
// tell. Never raises.
AdapterIdentity IdentifyAdapter(const std::string& devicePath);

}  // namespace comflash
