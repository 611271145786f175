#include "app/settings_file.h"

namespace comflash {
namespace {

std::string Unescape(std::string_view text, std::size_t lineNumber) {
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[++i] : '\0';
        switch (next) {
            case '\\':
                value += '\\';
                break;
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            default:
                throw SettingsFileError("line " + std::to_string(lineNumber) +
                                        ": unknown escape sequence");
        }
    }
    return value;
}

std::string Escape(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

SettingsValues ParseSettingsText(std::string_view text) {
    SettingsValues values;
    std::map<std::string, std::size_t> firstLines;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;

        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            throw SettingsFileError("line " + std::to_string(lineNumber) + ": expected name=value");
        }
        if (line.find('\0') != std::string_view::npos) {
            throw SettingsFileError("line " + std::to_string(lineNumber) + ": holds a NUL byte");
        }
        // Two lines for one value: which one counts is anybody's guess (a
        // hand edit that left the old serial number below the new one).
        const std::string name(line.substr(0, equals));
        const auto [first, added] = firstLines.emplace(name, lineNumber);
        if (!added) {
            throw SettingsFileError("line " + std::to_string(lineNumber) + ": " + name +
                                    " is set a second time (first on line " +
                                    std::to_string(first->second) + "); keep one of the two");
        }
        values[name] = Unescape(line.substr(equals + 1), lineNumber);
    }
    return values;
}

std::string FormatSettingsText(const SettingsValues& values) {
    std::string text = "# comflash settings (\\software\\Norvane\\FW)\n";
    // Names are read as they stand, so they are written as they stand: an
    // escaped name would come back with its backslashes doubled.
    for (const auto& [name, value] : values)
        text += name + "=" + Escape(value) + "\n";
    return text;
}

}  // namespace comflash
