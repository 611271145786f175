// The settings under HKEY_CURRENT_USER\software\Norvane\FW as REG_SZ values.
#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "app/settings_store.h"

namespace comflash {
namespace {

// The key path without its leading backslash, which only says "from the root".
constexpr const char* kKeyFromRoot = "software\\Norvane\\FW";

// Opens (creating if needed) the key for one access and closes it again.
class SettingsKey {
public:
    SettingsKey() {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyFromRoot, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~SettingsKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    HKEY Handle() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// How long a write waits for the settings lock before it says so.
constexpr DWORD kLockPatienceMs = 1000;

// The registry has no read-modify-write of its own: a named mutex per user
// session keeps two comflash processes from interleaving theirs. Another
// process may hold it for long (stopped in a debugger, say): after a second
// the wait is said and goes on. Windows does not tell who owns a mutex.
class SettingsLock {
public:
    explicit SettingsLock(const std::function<void(const std::string&)>& sayWait)
        : mutex_(CreateMutexA(nullptr, FALSE, "Local\\comflash-settings-Norvane-FW")) {
        if (mutex_ == nullptr)
            return;
        DWORD waited = WaitForSingleObject(mutex_, kLockPatienceMs);
        if (waited == WAIT_TIMEOUT) {
            sayWait({});
            waited = WaitForSingleObject(mutex_, INFINITE);
        }
        // An owner that died while holding it left each value whole: each
        // write is one registry call.
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~SettingsLock() {
        if (held_)
            ReleaseMutex(mutex_);
        if (mutex_ != nullptr)
            CloseHandle(mutex_);
    }
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE mutex_;
    bool held_ = false;
};

std::string ErrorText(LONG code) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    return text;
}

}  // namespace

std::string SettingsStore::ReadSetting(const std::string& name) const {
    SettingsKey key;
    if (key.Handle() == nullptr)
        return {};  // the defaults apply
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Handle(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw ERegistryException("Invalid data type for '" + name + "'");
    }
    std::vector<char> data(size + 1, '\0');
    const LONG result = RegQueryValueExA(key.Handle(), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &size);
    if (result != ERROR_SUCCESS)
        return {};
    return std::string(data.data());  // up to the first NUL; an expandable string stays unexpanded
}

bool SettingsStore::WriteSetting(const std::string& name, const std::string& text) const {
    ChangeSetting(name, [&](const std::string&) { return text; });
    return true;
}

void SettingsStore::ChangeSetting(const std::string& name, const SettingChange& change) const {
    ChangeSettings({name}, [&](SettingsValues& values) {
        const auto found = values.find(name);
        const std::optional<std::string> text =
            change(found == values.end() ? std::string{} : found->second);
        if (!text)
            return false;
        values[name] = *text;
        return true;
    });
}

void SettingsStore::ChangeSettings(const std::vector<std::string>& names,
                                   const SettingsChange& change) const {
    const std::string failed = "Failed to set data for '" + names.front() + "'";
    SettingsLock lock([this](const std::string& holder) { SayLockWait(holder); });
    if (!lock.Held())
        throw ERegistryException(failed, "the settings lock cannot be taken: " +
                                             ErrorText(static_cast<LONG>(GetLastError())));
    SettingsKey key;
    if (key.Handle() == nullptr)
        throw ERegistryException(failed, "the settings key cannot be opened");
    SettingsValues before;
    for (const auto& name : names) {
        DWORD size = 0;
        if (RegQueryValueExA(key.Handle(), name.c_str(), nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS)
            before[name] = ReadSetting(name);
    }
    SettingsValues values = before;
    if (!change(values))
        return;
    for (const auto& name : names) {
        const auto found = values.find(name);
        if (found == values.end() || (before.count(name) != 0 && before[name] == found->second))
            continue;
        const std::string value = found->second.substr(0, found->second.find('\0'));
        LONG result = RegSetValueExA(key.Handle(), name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
        // The registry writes lazily: a serial number counts as taken only
        // once the value that holds it is on disk.
        if (result == ERROR_SUCCESS)
            result = RegFlushKey(key.Handle());
        if (result != ERROR_SUCCESS)
            throw ERegistryException("Failed to set data for '" + name + "'", ErrorText(result));
    }
}

std::string SettingsStore::Location() const {
    return "HKEY_CURRENT_USER\\software\\Norvane\\FW";
}

}  // namespace comflash
