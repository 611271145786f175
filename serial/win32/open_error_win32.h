// Why a port did not open on Windows: the system's own message for the
// error, in one place for the whole backend.
#pragma once

#include <windows.h>

#include <string>

namespace comflash {

// `path` is the device path tried; `error` GetLastError() of the failed call.
std::string OpenFailureReason(const std::string& path, DWORD error);

// The system's message for `error`, with its number: "Access is denied (error 5)".
std::string SystemErrorText(DWORD error);

}  // namespace comflash
