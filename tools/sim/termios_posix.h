// Termios helpers shared by the line backends.
#pragma once

#include <termios.h>

#include <optional>

namespace comflash::sim {

std::optional<speed_t> SpeedConstantFor(int baud);
std::optional<int> BaudOf(speed_t speed);

// Raw 8N1 without echo, so the line passes every byte unchanged both ways.
// Throws LineError naming `what` when the terminal refuses.
void MakeRaw(int fd, const char* what);
// The output speed set on the terminal of fd, if it is one we know.
std::optional<int> ReadBaud(int fd);
void SetBaud(int fd, int baud, const char* what);

}  // namespace comflash::sim
