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

std::string ResolvePortName(std::string_view name) {
    return "\\\\.\\" + std::string(name);
}

}  // namespace comflash
