// Where port names such as COM3 lead, and where this user's settings live.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace comflash {

// The per-user folder named after the settings key \software\Norvane\FW.
// POSIX: ${XDG_CONFIG_HOME:-$HOME/.config}/Norvane/FW. Windows: %APPDATA%\Norvane\FW.
// The folder is not created here.
std::filesystem::path SettingsFolder();

// The port map: SettingsFolder() / "ports" (POSIX; Windows has none).
std::filesystem::path PortMapFile();

// How a port name led to its device path, for messages that say why a port
// did not open.
enum class PortRoute {
    DevicePath,   // the name was a device path
    PortMap,      // a line of the port map
    DefaultPath,  // a COM name not in the map: /dev/ttyS<n-1>, or \\.\COMn on Windows
    NotAPort,     // neither: the name comes back unchanged and will not open
};

struct ResolvedPort {
    std::string path;
    PortRoute route = PortRoute::NotAPort;
};

// The device path that opening the port `name` uses.
// POSIX: a name starting with '/' is a device path and stays as it is; a name
// listed in the port map (lines such as "COM3=/dev/ttyUSB0", blank lines and
// '#' comments allowed, malformed lines ignored) maps to its path; any other
// COMn is /dev/ttyS<n-1>. A name that is none of these comes back unchanged
// and will not open.
// Windows: the device namespace path \\.\<name>, so COM10 and above open too.
ResolvedPort ResolvePort(std::string_view name);
inline std::string ResolvePortName(std::string_view name) {
    return ResolvePort(name).path;
}

}  // namespace comflash
