// Termios helpers shared by the line backends.
#pragma once

#include <termios.h>

#include <optional>

namespace comflash::sim {

std::optional<speed_t> SpeedConstantFor(int baud);

// Raw 8N1 without echo, so the line passes every byte unchanged both ways.
// Throws LineError naming `what` when the terminal refuses.
void MakeRaw(int fd, const char* what);
void SetBaud(int fd, int baud, const char* what);

}  // namespace comflash::sim
