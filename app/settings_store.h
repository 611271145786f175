// The three small choices the tool remembers between runs ("SN", "COM",
// "Auto"), as named text values under the per-user key \software\Norvane\FW.
// Every call opens the store, does its one access and closes it again:
// nothing is cached, every change is stored at once.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace comflash {

// Raised with the fixed texts "Failed to set data for '%s'" and
// "Invalid data type for '%s'", or a text naming a damaged settings file.
// Detail says why, in the platform's words, for front ends that can show more
// than the fixed text.
class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const std::string& message, std::string detail = {})
        : std::runtime_error(message), detail_(std::move(detail)) {}
    const std::string& Detail() const { return detail_; }

private:
    std::string detail_;
};

inline constexpr const char* kSettingsKeyPath = "\\software\\Norvane\\FW";

class SettingsStore {
public:
    // The value's text; empty when the value is absent.
    std::string ReadSetting(const std::string& name) const;
    // Stores the text, replacing any earlier value; failures are raised.
    bool WriteSetting(const std::string& name, const std::string& text) const;

    // One read-modify-write of a value that no other process can interleave
    // with: `change` gets the current text (empty when absent) and returns the
    // new one, or nothing to leave the value as it is. A new text is on disk
    // (file and folder synced; on Windows the key flushed) before this returns.
    // Raises as WriteSetting does, and passes on what `change` raises.
    using SettingChange = std::function<std::optional<std::string>(const std::string& current)>;
    void ChangeSetting(const std::string& name, const SettingChange& change) const;

    // Where the values live, for messages.
    std::string Location() const;
};

}  // namespace comflash
