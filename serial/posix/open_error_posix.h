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

}  // namespace comflash
