// The settings as a small text file in the user's settings folder. Every
// write replaces the whole file atomically (temporary file, flush, rename)
// under a lock, so a crash or a full disk never leaves it half written and
// never loses the other values.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/lock_holder.h"

#include "app/settings_file.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"

namespace comflash {
namespace {

namespace fs = std::filesystem;

fs::path SettingsFile() {
    return SettingsFolder() / "settings";
}

std::string CutAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// How long a write waits for the settings lock before it says so.
constexpr std::chrono::milliseconds kLockPatience{1000};
constexpr std::chrono::milliseconds kLockRetry{10};

// Holds an exclusive lock on the folder's lock file for one read-modify-write.
// Another process may hold it for long (stopped in a debugger, say): after a
// second the wait is said, with the holder, and goes on.
class FolderLock {
public:
    FolderLock(const fs::path& folder, const std::function<void(const std::string&)>& sayWait)
        : file_(folder / "settings.lock"),
          fd_(::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0)
            return;
        const auto said = std::chrono::steady_clock::now() + kLockPatience;
        while (!TryLock()) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                Release();
                return;
            }
            if (std::chrono::steady_clock::now() >= said) {
                sayWait(LockHolder(file_));
                Wait();
                return;
            }
            std::this_thread::sleep_for(kLockRetry);
        }
    }
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    bool TryLock() { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }
    void Wait() {
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                Release();
                return;
            }
        }
    }
    void Release() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    fs::path file_;
    int fd_;
};

enum class FileRead { Absent, Unreadable, Read };

FileRead ReadWholeFile(const fs::path& file, std::string& text) {
    std::error_code error;
    if (!fs::exists(file, error))
        return FileRead::Absent;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return FileRead::Unreadable;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return FileRead::Unreadable;
    text = content.str();
    return FileRead::Read;
}

SettingsValues ParseOrExplain(const fs::path& file, const std::string& text) {
    try {
        return ParseSettingsText(text);
    } catch (const SettingsFileError& e) {
        throw ERegistryException("Settings file " + file.string() + " is damaged (" + e.what() +
                                 "): repair it or delete it to start from the defaults");
    }
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Writes the text beside the target and renames it over the target.
void ReplaceFile(const fs::path& target, const std::string& text) {
    std::string temporary = (target.parent_path() / "settings.XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        throw std::runtime_error(SystemError("cannot create " + temporary));
    auto fail = [&](const std::string& what) {
        const std::string message = SystemError(what);
        ::close(fd);
        ::unlink(temporary.c_str());
        throw std::runtime_error(message);
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write " + temporary);
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        fail("cannot flush " + temporary);
    if (::close(fd) != 0) {
        const std::string message = SystemError("cannot close " + temporary);
        ::unlink(temporary.c_str());
        throw std::runtime_error(message);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const std::string message = SystemError("cannot replace " + target.string());
        ::unlink(temporary.c_str());
        throw std::runtime_error(message);
    }
    // The rename itself must reach the disk too: a serial number counts as
    // taken only once the folder entry that holds it is on disk.
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        throw std::runtime_error(SystemError("cannot open " + target.parent_path().string()));
    const bool synced = ::fsync(folder) == 0;
    const std::string message = SystemError("cannot flush " + target.parent_path().string());
    ::close(folder);
    if (!synced)
        throw std::runtime_error(message);
}

}  // namespace

std::string SettingsStore::ReadSetting(const std::string& name) const {
    const fs::path file = SettingsFile();
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);  // created on first use, as the key is

    std::string text;
    if (ReadWholeFile(file, text) != FileRead::Read)
        return {};  // defaults apply
    const SettingsValues values = ParseOrExplain(file, text);
    const auto found = values.find(name);
    return found == values.end() ? std::string{} : found->second;
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
    const fs::path file = SettingsFile();
    const std::string failed = "Failed to set data for '" + names.front() + "'";

    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error)
        throw ERegistryException(
            failed, "cannot create " + file.parent_path().string() + ": " + error.message());
    FolderLock lock(file.parent_path(), [this](const std::string& holder) { SayLockWait(holder); });
    if (!lock.Held())
        throw ERegistryException(failed, SystemError("cannot lock " + file.parent_path().string()));

    std::string current;
    const FileRead read = ReadWholeFile(file, current);
    if (read == FileRead::Unreadable)
        throw ERegistryException(failed, "cannot read " + file.string());
    SettingsValues all = read == FileRead::Read ? ParseOrExplain(file, current) : SettingsValues{};
    SettingsValues values;
    for (const auto& name : names) {
        if (const auto found = all.find(name); found != all.end())
            values.insert(*found);
    }
    if (!change(values))
        return;
    for (const auto& name : names) {
        if (const auto found = values.find(name); found != values.end())
            all[name] = CutAtNul(found->second);
    }
    try {
        ReplaceFile(file, FormatSettingsText(all));
    } catch (const std::runtime_error& e) {
        throw ERegistryException(failed, e.what());
    }
}

std::string SettingsStore::Location() const {
    return SettingsFile().string();
}

}  // namespace comflash
