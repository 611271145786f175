#include "line/line_marks.h"

#include <algorithm>
#include <vector>

#include "app/serial_number.h"

namespace comflash::line {
namespace {

// One value holding every prefix, each ended by a tab: a prefix is printable
// ASCII, and may be empty.
constexpr const char* kSetting = "LineSeries";

std::vector<std::string> Prefixes(const std::string& text) {
    std::vector<std::string> prefixes;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\t', start)) != std::string::npos; start = end + 1)
        prefixes.push_back(text.substr(start, end - start));
    return prefixes;
}

}  // namespace

bool ProvisionedThroughLine(const SettingsStore& settings, const std::string& prefix) {
    const auto prefixes = Prefixes(settings.ReadSetting(kSetting));
    return std::find(prefixes.begin(), prefixes.end(), prefix) != prefixes.end();
}

void MarkProvisionedThroughLine(const SettingsStore& settings, const std::string& prefix) {
    settings.ChangeSetting(kSetting, [&](const std::string& text) -> std::optional<std::string> {
        const auto prefixes = Prefixes(text);
        if (std::find(prefixes.begin(), prefixes.end(), prefix) != prefixes.end())
            return std::nullopt;
        return text + prefix + '\t';
    });
}

void CheckStandaloneWrite(const SettingsStore& settings, const std::string& number,
                          bool standalone) {
    if (standalone || !SerialNumberLongEnough(number))
        return;
    const std::string prefix = SerialPrefix(number);
    if (!ProvisionedThroughLine(settings, prefix))
        return;
    throw SerialNumberError(
        "This station has written serial numbers " + (prefix.empty() ? "" : prefix + "...") +
        " through the line database, and its own stored number may repeat numbers other "
        "stations wrote since: give --line (or set COMFLASH_LINE) to take them from the line, or "
        "--standalone to write them from this station's own store anyway");
}

}  // namespace comflash::line
