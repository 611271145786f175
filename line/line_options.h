// What a front end needs to decide whether, and as which station, it works on
// a line.
#pragma once

#include <optional>
#include <string>

namespace comflash::line {

// Read when no --line is given.
inline constexpr const char* kLineEnvironment = "COMFLASH_LINE";

// The line database's address: the option's when given, else the
// environment's; nothing (no line) when neither is set or both are empty.
std::optional<std::string> ResolveLineAddress(const std::optional<std::string>& option);

// The station's name when none is given: the host name ("station" when the
// system has none).
std::string DefaultStationName();

}  // namespace comflash::line
