#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "line/spool_file.h"

namespace comflash::line {
namespace {

namespace fs = std::filesystem;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAll(int fd, const std::string& text, const fs::path& file) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw SystemError("cannot write " + file.string());
        written += static_cast<std::size_t>(n);
    }
}

// A new folder entry reaches the disk only with its folder.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw SystemError("cannot open " + folder.string());
    const bool synced = ::fsync(fd) == 0;
    const auto error = SystemError("cannot flush " + folder.string());
    ::close(fd);
    if (!synced)
        throw error;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

FileLock::FileLock(const fs::path& file, bool wait) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    handle_ = fd;
    int result;
    while ((result = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    held_ = result == 0;
}

FileLock::~FileLock() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

void AppendSynced(const fs::path& file, const std::string& text) {
    std::error_code error;
    const bool existed = fs::exists(file, error);
    Descriptor fd(::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (fd.Get() < 0)
        throw SystemError("cannot open " + file.string());
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0)
        throw SystemError("cannot read " + file.string());
    std::string out;
    if (status.st_size > 0) {
        char last = '\n';
        if (::pread(fd.Get(), &last, 1, status.st_size - 1) != 1)
            throw SystemError("cannot read " + file.string());
        if (last != '\n')
            out = "\n";
    }
    out += text;
    WriteAll(fd.Get(), out, file);
    if (::fsync(fd.Get()) != 0)
        throw SystemError("cannot flush " + file.string());
    if (::close(fd.Release()) != 0)
        throw SystemError("cannot close " + file.string());
    if (!existed)
        SyncFolder(file.parent_path());
}

void ReplaceSynced(const fs::path& file, const std::string& text) {
    std::string temporary = file.string() + ".XXXXXX";
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.Get() < 0)
        throw SystemError("cannot create " + temporary);
    try {
        WriteAll(fd.Get(), text, temporary);
        if (::fsync(fd.Get()) != 0)
            throw SystemError("cannot flush " + temporary);
        if (::close(fd.Release()) != 0)
            throw SystemError("cannot close " + temporary);
        if (::rename(temporary.c_str(), file.c_str()) != 0)
            throw SystemError("cannot replace " + file.string());
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    SyncFolder(file.parent_path());
}

}  // namespace comflash::line
