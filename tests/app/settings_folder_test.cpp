// Where the settings and the port map live on POSIX: the XDG rules.
#include "app/settings_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "session_fixture.h"

namespace comflash::testing {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFolder, FollowsXdgConfigHome) {
    const ScratchSettings scratch;
    EXPECT_EQ(SettingsFolder(), scratch.Folder() / "Norvane" / "FW");
    EXPECT_EQ(PortMapFile(), scratch.Folder() / "Norvane" / "FW" / "ports");
}

TEST(SettingsFolder, FallsBackToHomeConfig) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("HOME", "/home/operator", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(SettingsFolder(), fs::path("/home/operator/.config/Norvane/FW"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFolder(), fs::path("/home/operator/.config/Norvane/FW"));
    ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace comflash::testing
