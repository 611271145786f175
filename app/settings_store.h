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
#include <vector>

#include "app/settings_file.h"

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

    // One read-modify-write of several values: `change` gets the current
    // texts of `names` (an absent value is missing from the map), edits them
    // and returns false to leave them all as they are. Elsewhere than on
    // Windows they change in one replacement of the file. The registry has no
    // such write: there they change in the order of `names`, each on disk
    // before the next, so a value that must never lag behind the others
    // (a number named as taken before the next number moves past it) comes
    // first.
    using SettingsChange = std::function<bool(SettingsValues& values)>;
    void ChangeSettings(const std::vector<std::string>& names, const SettingsChange& change) const;

    // Told once per write that has waited a second for the settings lock,
    // which another process holds: who holds it, where the system can tell.
    // The write goes on waiting. Set before the store is shared by threads.
    using LockWaitNotice = std::function<void(const std::string& text)>;
    void OnLockWait(LockWaitNotice notice) { lockWaitNotice_ = std::move(notice); }

    // Where the values live, for messages.
    std::string Location() const;

private:
    // Tells the lock-wait notice, if any, that a write waits for `holder`
    // ("process 1234 (comflash-cli)"; empty when the system cannot tell).
    void SayLockWait(const std::string& holder) const {
        if (lockWaitNotice_) {
            lockWaitNotice_("waiting for the settings lock of " + Location() +
                            (holder.empty() ? ", held by another process" : ", held by " + holder) +
                            ": serial numbers wait until it is free");
        }
    }

    LockWaitNotice lockWaitNotice_;
};

}  // namespace comflash
