// The component's line settings stored into termios and the modem lines.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>

#include "serial/line_settings.h"

namespace comflash {

// Raw 8-bit mode with the settings' framing and flow control; the speed is
// left alone. Settings with no termios counterpart are noted in the source.
void FillTermios(termios& attributes, const LineSettings& settings);

// Everything at once: framing, flow control, speed (any rate the driver takes,
// beyond the standard ones through BOTHER) and the DTR and RTS lines. A value
// the driver refuses does not stop the rest from being applied. Returns what
// the line did not take, in the operator's words: a call the system failed,
// with its reason, or a value the driver replaced (a rate the UART cannot
// make, framing a pseudo-terminal forces back to 8N1), with what the line
// runs at instead. Empty when the line took everything.
std::string ApplyLineSettingsToPort(int port, const LineSettings& settings);

// Drops what the line holds in one direction (TCIFLUSH, TCOFLUSH) while the
// port is being stopped or let go. A device that is gone has nothing left to
// drop, so a failure calls for nothing.
void DropQueued(int port, int queue);

// termios2 with BOTHER; lives apart because <asm/termbits.h> clashes with
// <termios.h>. SetCustomBaudRate returns 0 or the errno of the failed call.
int SetCustomBaudRate(int port, std::uint32_t baud_rate);
// The rate the driver runs the line at; none when it cannot be read.
std::optional<std::uint32_t> DriverBaudRate(int port);

}  // namespace comflash
