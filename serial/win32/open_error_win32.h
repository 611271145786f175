// Why a port did not open on Windows: the system's own message for the
// error, in one place for the whole backend.
#pragma once

#include <windows.h>

#include <string>

namespace comflash {

// `path` is the device path tried; `error` GetLastError() of the failed call.
std::string OpenFailureReason(const std::string& path, DWORD error);

}  // namespace comflash
