// An existing serial device served as the device end: a real port wired to a
// host elsewhere, or one end of a pair another program made. Such a line
// cannot tell whether the host has it open or what speed the host set, so the
// device simply listens at its own speed, as a real device does.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/sim/line_speed.h"
#include "tools/sim/sim_line.h"
#include "tools/sim/termios_posix.h"

namespace comflash::sim {
namespace {

class AttachedLine final : public SimLine {
public:
    explicit AttachedLine(std::filesystem::path path) : path_(std::move(path)) { OpenPath(); }
    ~AttachedLine() override { ClosePath(); }
    AttachedLine(const AttachedLine&) = delete;
    AttachedLine& operator=(const AttachedLine&) = delete;

    std::string Path() const override { return path_.string(); }
    int Fd() const override { return fd_; }
    bool HostHasOpen() override { return fd_ >= 0; }
    std::optional<int> HostBaud() override { return std::nullopt; }

    void ListenAt(int baud) override {
        if (fd_ >= 0 && isatty(fd_))
            SetBaud(fd_, baud, path_.c_str());
        baud_ = baud;
    }

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        if (fd_ < 0)
            return 0;
        const ssize_t n = read(fd_, buffer.data(), buffer.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    std::size_t Write(std::span<const std::uint8_t> bytes) override {
        if (fd_ < 0)
            return 0;
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    // The path stays where it is; the host sees silence until it returns.
    void Vanish() override { ClosePath(); }
    void Return() override {
        if (fd_ < 0)
            OpenPath();
    }

private:
    void OpenPath() {
        fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            throw LineError("--attach " + path_.string() +
                            ": cannot open: " + std::strerror(errno));
        }
        if (isatty(fd_)) {
            MakeRaw(fd_, path_.c_str());
            SetBaud(fd_, baud_, path_.c_str());
        }
    }

    void ClosePath() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

    std::filesystem::path path_;
    int fd_ = -1;
    int baud_ = kBaseBaud;
};

}  // namespace

std::unique_ptr<SimLine> AttachLine(const std::filesystem::path& path) {
    return std::make_unique<AttachedLine>(path);
}

}  // namespace comflash::sim
