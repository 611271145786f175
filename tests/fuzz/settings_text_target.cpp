// The settings file is edited by hand: whatever it holds, reading it either
// gives values or a SettingsFileError naming the line, and what the store
// writes back from those values reads back as the same values.
#include <string_view>

#include "app/settings_file.h"
#include "fuzz_targets.h"

namespace comflash::fuzz {

int FuzzSettingsText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SettingsValues values;
    try {
        values = ParseSettingsText(text);
    } catch (const SettingsFileError& e) {
        Require(std::string_view(e.what()).starts_with("line "),
                "a settings error names its line: " + std::string(e.what()));
        return 0;
    }
    const std::string written = FormatSettingsText(values);
    SettingsValues reread;
    try {
        reread = ParseSettingsText(written);
    } catch (const SettingsFileError& e) {
        throw PropertyViolation("a written settings text is refused: " + std::string(e.what()));
    }
    Require(reread == values, "a written settings text reads back as the values written");
    return 0;
}

}  // namespace comflash::fuzz
