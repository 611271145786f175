// The serial line every front end opens towards the devices.
#pragma once

#include <cstdint>

#include "serial/comm.h"

namespace comflash {

// DTR and RTS held off, no flow control, bursts grouped by a 30 ms
// read-interval time-out, COM names through this user's port map. Everything
// else keeps the component's defaults (9600 baud, 8N1, the other time-outs
// 0). The component's own defaults turn XON/XOFF on, which would swallow
// every 0x11 and 0x13 byte of an image.
void ConfigureDeviceLine(TComm& comm);

// Sets the line's speed, as the controller asks. With quick turnaround, a
// read at the update rate ends at the last byte of a whole, checked reply
// frame instead of 30 ms after it, so each chunk holds exactly one frame and
// the next request leaves that much sooner. At the base rate the hellos keep
// the 30 ms grouping: two hellos close together still make one chunk.
void SetDeviceLineRate(TComm& comm, std::uint32_t baudRate, bool quickTurnaround);

}  // namespace comflash
