#include <windows.h>

#include <stdexcept>

#include "line/spool_file.h"

namespace comflash::line {
namespace {

namespace fs = std::filesystem;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": Windows error " + std::to_string(::GetLastError()));
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

void WriteAll(HANDLE file, const std::string& text, const fs::path& name) {
    std::size_t written = 0;
    while (written < text.size()) {
        DWORD n = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 1 << 20));
        if (!::WriteFile(file, text.data() + written, chunk, &n, nullptr) || n == 0)
            throw SystemError("cannot write " + name.string());
        written += n;
    }
}

}  // namespace

FileLock::FileLock(const fs::path& file, bool wait) {
    // Shared open, so that every process can lock the same file.
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    handle_ = reinterpret_cast<long long>(handle);
    OVERLAPPED whole{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    held_ = ::LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

FileLock::~FileLock() {
    if (handle_ != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing releases the lock
}

void AppendSynced(const fs::path& file, const std::string& text) {
    Handle handle(::CreateFileW(file.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        throw SystemError("cannot open " + file.string());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.Get(), &size))
        throw SystemError("cannot read " + file.string());
    std::string out;
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const auto lastByte = size.QuadPart - 1;
        at.Offset = static_cast<DWORD>(lastByte & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(lastByte >> 32);
        char last = '\n';
        DWORD n = 0;
        if (!::ReadFile(handle.Get(), &last, 1, &n, &at) || n != 1)
            throw SystemError("cannot read " + file.string());
        if (last != '\n')
            out = "\n";
    }
    out += text;
    WriteAll(handle.Get(), out, file);
    if (!::FlushFileBuffers(handle.Get()))
        throw SystemError("cannot flush " + file.string());
}

void ReplaceSynced(const fs::path& file, const std::string& text) {
    fs::path temporary = file;
    temporary += ".new";
    {
        Handle handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle.Get() == INVALID_HANDLE_VALUE)
            throw SystemError("cannot create " + temporary.string());
        WriteAll(handle.Get(), text, temporary);
        if (!::FlushFileBuffers(handle.Get()))
            throw SystemError("cannot flush " + temporary.string());
    }
    if (!::MoveFileExW(temporary.c_str(), file.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const auto error = SystemError("cannot replace " + file.string());
        ::DeleteFileW(temporary.c_str());
        throw error;
    }
}

}  // namespace comflash::line
