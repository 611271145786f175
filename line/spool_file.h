// The file operations the spool needs, each whole for its platform: a lock
// between processes, an append that is on disk when it returns, and a
// replacement that never leaves a half-written file.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace comflash::line {

// Holds a lock on `file` (created when missing) until destroyed. `wait`:
// block until it is free; otherwise Held() is false when another holds it.
class FileLock {
public:
    FileLock(const std::filesystem::path& file, bool wait);
    ~FileLock();
    FileLock(FileLock&& other) noexcept
        : handle_(std::exchange(other.handle_, -1)), held_(std::exchange(other.held_, false)) {}
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock& operator=(FileLock&&) = delete;
    bool Held() const { return held_; }

private:
    long long handle_ = -1;
    bool held_ = false;
};

// Appends `text` to `file` (created when missing), after a line break when
// the file ends in the middle of a line (a write cut short by a crash), and
// flushes it to disk. Raises std::runtime_error saying what failed.
void AppendSynced(const std::filesystem::path& file, const std::string& text);

// Replaces `file` by one holding `text`, atomically and on disk on return.
void ReplaceSynced(const std::filesystem::path& file, const std::string& text);

// The file's contents; empty when it does not exist.
std::string ReadIfPresent(const std::filesystem::path& file);

}  // namespace comflash::line
