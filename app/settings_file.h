// The text form of the settings on platforms without a registry: one
// "name=value" line per value, backslash, CR and LF in values escaped, and
// "#" comment lines.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace comflash {

using SettingsValues = std::map<std::string, std::string>;

// A settings text that cannot be read; the message names the line.
class SettingsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

SettingsValues ParseSettingsText(std::string_view text);
std::string FormatSettingsText(const SettingsValues& values);

}  // namespace comflash
