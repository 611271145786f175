#include "serial/win32/open_error_win32.h"

namespace comflash {

std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text =
        length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    ::LocalFree(buffer);
    // The system's texts end in a line break, sometimes after a full stop.
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "system error";
    return text + " (error " + std::to_string(error) + ")";
}

std::string OpenFailureReason(const std::string& path, DWORD error) {
    std::string reason = path + ": " + SystemErrorText(error);
    // A port opened with no sharing by another program reports only this.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        reason += "; another program may hold the port";
    return reason;
}

}  // namespace comflash
