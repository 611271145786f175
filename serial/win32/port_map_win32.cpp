// Port names on Windows go through the device namespace, which is the only
// form that opens COM10 and above.
#include <cstdlib>

#include "serial/port_map.h"

namespace comflash {

std::filesystem::path SettingsFolder() {
    const char* app_data = std::getenv("APPDATA");
    const std::filesystem::path base = (app_data != nullptr && *app_data != '\0')
                                           ? std::filesystem::path(app_data)
                                           : std::filesystem::current_path();
    return base / "Norvane" / "FW";
}

std::filesystem::path PortMapFile() {
    return SettingsFolder() / "ports";
}

// The system knows its COM ports; every name goes through the device
// namespace and the system says whether it is there.
ResolvedPort ResolvePort(std::string_view name) {
    return {"\\\\.\\" + std::string(name), PortRoute::DefaultPath};
}

}  // namespace comflash
