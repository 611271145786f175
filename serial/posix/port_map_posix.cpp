// Port names on POSIX: the operator keeps thinking in COM numbers, so a small
// per-user map says which device each one is.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

#include "serial/port_map.h"

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

std::string_view Trim(std::string_view text) {
    const auto is_blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Windows port names are case-insensitive, so "com3" in the map means COM3.
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// The last well-formed line for `name` wins, so an entry appended later overrides.
std::optional<std::string> LookUpPortMap(const fs::path& map_file, std::string_view name) {
    std::ifstream in(map_file);
    std::optional<std::string> found;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#')
            continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = Trim(text.substr(0, equals));
        const std::string_view path = Trim(text.substr(equals + 1));
        if (key.empty() || path.empty() || path.front() != '/')
            continue;
        if (SameName(key, name))
            found = std::string(path);
    }
    return found;
}

// COMn with n from 1; anything else is not a COM name.
std::optional<unsigned> ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 8 || !SameName(name.substr(0, 3), "COM")) {
        return std::nullopt;
    }
    unsigned number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number == 0)
        return std::nullopt;
    return number;
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

ResolvedPort ResolvePort(std::string_view name) {
    if (!name.empty() && name.front() == '/')
        return {std::string(name), PortRoute::DevicePath};
    if (auto mapped = LookUpPortMap(PortMapFile(), name))
        return {*mapped, PortRoute::PortMap};
    if (const auto number = ComNumber(name))
        return {"/dev/ttyS" + std::to_string(*number - 1), PortRoute::DefaultPath};
    return {std::string(name), PortRoute::NotAPort};
}

}  // namespace comflash
