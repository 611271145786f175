// udev names every serial device after the place it is plugged into, in
// /dev/serial/by-path; that name stays with the socket of the fixture when an
// adapter is swapped.
#include <filesystem>

#include "app/station_ports.h"

namespace comflash {

std::string FixtureSocket(const std::string& devicePath, const std::string& byPathFolder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path device = fs::weakly_canonical(devicePath, error);
    if (error)
        return devicePath;
    if (fs::path(devicePath).parent_path() == fs::path(byPathFolder))
        return devicePath;
    for (const auto& entry : fs::directory_iterator(byPathFolder, error)) {
        std::error_code ignored;
        if (fs::canonical(entry.path(), ignored) == device && !ignored)
            return entry.path().string();
    }
    return devicePath;
}

}  // namespace comflash
