// Where this user's settings and port map live.
#pragma once

#include <filesystem>

namespace comflash {

// The per-user folder named after the settings key \software\Norvane\FW.
// POSIX: ${XDG_CONFIG_HOME:-$HOME/.config}/Norvane/FW. Windows: %APPDATA%\Norvane\FW.
// The folder is not created here.
std::filesystem::path SettingsFolder();

// The port map every front end gives its ports (see ResolvePortName): the
// file `ports` in SettingsFolder(). Windows names its ports itself and reads
// no map.
std::filesystem::path PortMapFile();

}  // namespace comflash
