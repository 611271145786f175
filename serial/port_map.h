// Where port names such as COM3 lead.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace comflash {

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
// listed in the file `portMap` (lines such as "COM3=/dev/ttyUSB0", blank
// lines and '#' comments allowed, malformed lines ignored; a missing file or
// an empty path lists nothing) maps to its path; any other COMn is
// /dev/ttyS<n-1>. A name that is none of these comes back unchanged and will
// not open. The application says where it keeps the map.
// Windows: the device namespace path \\.\<name>, so COM10 and above open too;
// the system names the ports, so there is no map.
ResolvedPort ResolvePort(std::string_view name, const std::filesystem::path& portMap);
inline std::string ResolvePortName(std::string_view name, const std::filesystem::path& portMap) {
    return ResolvePort(name, portMap).path;
}

}  // namespace comflash
