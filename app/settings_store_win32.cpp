// The settings under HKEY_CURRENT_USER\software\Norvane\FW as REG_SZ values.
#include <windows.h>

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
    const std::string failed = "Failed to set data for '" + name + "'";
    SettingsKey key;
    if (key.Handle() == nullptr)
        throw ERegistryException(failed, "the settings key cannot be opened");
    const std::string value = text.substr(0, text.find('\0'));
    const LONG result = RegSetValueExA(key.Handle(), name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
    if (result != ERROR_SUCCESS)
        throw ERegistryException(failed, ErrorText(result));
    return true;
}

std::string SettingsStore::Location() const {
    return "HKEY_CURRENT_USER\\software\\Norvane\\FW";
}

}  // namespace comflash
