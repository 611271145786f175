// Why a port did not open, in words the operator can act on. All of the
// POSIX backend's open failures are explained here, in one place.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "serial/port_map.h"

namespace comflash {

// `name` as the caller gave it, `port` where it led through the map file
// `portMap`, `error` the errno of the failed open or lock.
std::string OpenFailureReason(std::string_view name, const ResolvedPort& port,
                              const std::filesystem::path& portMap, int error);

// The device opened, but reading its line settings failed with `error`: a
// node with no hardware behind it (EIO: most PCs list four ttyS nodes, with a
// UART behind the first one or two) or a file that is no terminal at all.
// True for the latter, which is the component's "not a comm handle".
bool IsNoTerminal(int error);
std::string NoLineReason(std::string_view name, const ResolvedPort& port,
                         const std::filesystem::path& portMap, int error);

// A call made while setting up the opened device failed, or the driver did
// not take a setting: `what` says which, in the operator's words.
std::string SetupFailureReason(const ResolvedPort& port, const std::string& what);

}  // namespace comflash
