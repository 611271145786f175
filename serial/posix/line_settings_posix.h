// The component's line settings stored into termios and the modem lines.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/line_settings.h"

namespace comflash {

// Raw 8-bit mode with the settings' framing and flow control; the speed is
// left alone. Settings with no termios counterpart are noted in the source.
void FillTermios(termios& attributes, const LineSettings& settings);

// Everything at once: framing, flow control, speed (any rate the driver takes,
// beyond the standard ones through BOTHER) and the DTR and RTS lines. As on
// Windows, a value the driver refuses is not an error: the rest still applies.
void ApplyLineSettingsToPort(int port, const LineSettings& settings);

// termios2 with BOTHER; lives apart because <asm/termbits.h> clashes with <termios.h>.
bool SetCustomBaudRate(int port, std::uint32_t baud_rate);

}  // namespace comflash
