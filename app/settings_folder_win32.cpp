#include <cstdlib>

#include "app/settings_folder.h"

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

}  // namespace comflash
