#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "app/settings_folder.h"

namespace comflash {
namespace {

namespace fs = std::filesystem;

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

fs::path SettingsFolder() {
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    const fs::path base = (config_home != nullptr && config_home[0] == '/')
                              ? fs::path(config_home)
                              : HomeFolder() / ".config";
    return base / "Norvane" / "FW";
}

fs::path PortMapFile() {
    return SettingsFolder() / "ports";
}

}  // namespace comflash
