// What the update controller needs of the port station that runs it: the
// port, the clock, and the station's say in a device's run (whether a hello
// may be answered, whether provisioning takes the identity reply, the end of
// a run). What the operator sees goes to the PortView instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "app/port_view.h"
#include "protocol/identity_reply.h"

namespace comflash {

class ControllerHost {
public:
    virtual ~ControllerHost() = default;

    // The port. SendData copies the bytes; its result is not looked at.
    virtual bool SendData(const std::uint8_t* data, std::uint16_t length) = 0;
    virtual void SetBaudRate(std::uint32_t baudRate) = 0;

    virtual std::chrono::system_clock::time_point Now() = 0;

    // A device said hello with a usable version: false leaves it unanswered
    // (a port that has served its devices, or that waits for its serial
    // number; the controller answers late once the number is there).
    virtual bool ReadyForDevice() = 0;

    // The identity reply came and said what the device holds: true when
    // provisioning takes it; otherwise the update starts.
    virtual bool TakeIdentityReply(const DeviceSerial& device) = 0;

    // The device's run is over.
    virtual void RunEnded(RunResult result, std::optional<std::uint16_t> refusedBlock) = 0;
};

}  // namespace comflash
