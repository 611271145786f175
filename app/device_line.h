// The serial line every front end opens towards the devices.
#pragma once

#include "serial/comm.h"

namespace comflash {

// DTR and RTS held off, no flow control, bursts grouped by a 30 ms
// read-interval time-out, COM names through this user's port map. Everything
// else keeps the component's defaults (9600 baud, 8N1, the other time-outs
// 0). The component's own defaults turn XON/XOFF on, which would swallow
// every 0x11 and 0x13 byte of an image.
void ConfigureDeviceLine(TComm& comm);

}  // namespace comflash
