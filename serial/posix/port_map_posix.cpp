// Port names on POSIX: the operator keeps thinking in COM numbers, so a small
// per-user map says which device each one is.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>

#include "serial/port_map.h"

namespace comflash {
namespace {

namespace fs = std::filesystem;

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

ResolvedPort ResolvePort(std::string_view name, const fs::path& portMap) {
    if (!name.empty() && name.front() == '/')
        return {std::string(name), PortRoute::DevicePath};
    if (auto mapped = LookUpPortMap(portMap, name))
        return {*mapped, PortRoute::PortMap};
    if (const auto number = ComNumber(name))
        return {"/dev/ttyS" + std::to_string(*number - 1), PortRoute::DefaultPath};
    return {std::string(name), PortRoute::NotAPort};
}

}  // namespace comflash
