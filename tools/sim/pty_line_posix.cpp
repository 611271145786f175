// A pseudo-terminal pair: the simulator holds the master, the host opens the
// slave path. Linux reports POLLHUP on the master while nobody holds the
// slave open, which is how the device sees the host open and close its port.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "tools/sim/line_baud_posix.h"
#include "tools/sim/sim_line.h"
#include "tools/sim/termios_posix.h"

namespace comflash::sim {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) {
    throw LineError(what + ": " + std::strerror(errno));
}

class PtyLine final : public SimLine {
public:
    explicit PtyLine(std::optional<fs::path> link) : link_(std::move(link)) {
        RefuseToReplaceNonLink();
        OpenPair();
    }
    ~PtyLine() override {
        ClosePair();
        RemoveLink();
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    std::string Path() const override { return path_; }
    int Fd() const override { return master_; }

    bool HostHasOpen() override {
        if (master_ < 0)
            return false;
        pollfd entry{master_, POLLIN, 0};
        const bool open = poll(&entry, 1, 0) >= 0 && (entry.revents & (POLLHUP | POLLERR)) == 0;
        if (hostHadOpen_ && !open)
            DiscardUnreadReplies();
        hostHadOpen_ = open;
        return open;
    }

    std::optional<int> HostBaud() override {
        if (master_ < 0)
            return std::nullopt;
        // On Linux the master's termios calls act on the slave, so this is
        // the speed the host set on its end.
        return ReadLineBaud(master_);
    }

    void ListenAt(int) override {}  // a pseudo-terminal carries bytes at any speed

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        if (master_ < 0)
            return 0;
        const ssize_t n = read(master_, buffer.data(), buffer.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;  // EAGAIN, or EIO once the host is gone
    }

    std::size_t Write(std::span<const std::uint8_t> bytes) override {
        if (master_ < 0)
            return 0;
        const ssize_t n = write(master_, bytes.data(), bytes.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    void Vanish() override {
        ClosePair();
        RemoveLink();
    }

    void Return() override {
        if (master_ < 0)
            OpenPair();
    }

private:
    void OpenPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0)
            Fail("cannot open a pseudo-terminal");
        if (fcntl(master_, F_SETFL, O_NONBLOCK) != 0 || fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 ||
            grantpt(master_) != 0 || unlockpt(master_) != 0) {
            Fail("cannot prepare the pseudo-terminal");
        }
        std::array<char, 128> name{};
        if (ptsname_r(master_, name.data(), name.size()) != 0)
            Fail("cannot name the pseudo-terminal");
        path_ = name.data();
        // Echo would send the device's own bytes back to it before the host
        // opens the port and sets its own mode.
        MakeRaw(master_, "pseudo-terminal");
        // A master whose slave was never opened reports no hang-up; one open
        // and close puts it into the state the host's open then clears.
        DiscardUnreadReplies();
        hostHadOpen_ = false;
        PointLink();
    }

    void ClosePair() {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
        hostHadOpen_ = false;
    }

    // Bytes the host never read would otherwise greet its next open; on a
    // wire they are simply lost.
    void DiscardUnreadReplies() {
        const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave < 0)
            return;
        tcflush(slave, TCIFLUSH);
        close(slave);
    }

    void RefuseToReplaceNonLink() const {
        if (!link_)
            return;
        std::error_code error;
        const auto status = fs::symlink_status(*link_, error);
        if (fs::exists(status) && !fs::is_symlink(status)) {
            throw LineError("--link " + link_->string() +
                            ": a file of that name exists and is not a symbolic link; "
                            "choose another name or remove it");
        }
    }

    // A new link is made beside the old one and renamed over it, so a host
    // opening the link never finds it missing or half made.
    void PointLink() {
        if (!link_)
            return;
        fs::path temporary = *link_;
        temporary += ".new-" + std::to_string(getpid());
        std::error_code error;
        fs::remove(temporary, error);
        fs::create_symlink(path_, temporary, error);
        if (!error)
            fs::rename(temporary, *link_, error);
        if (error) {
            const std::string reason = error.message();
            fs::remove(temporary, error);
            throw LineError("--link " + link_->string() + ": cannot make the link: " + reason);
        }
    }

    // Only a link that still points at this line is ours to remove.
    void RemoveLink() {
        if (!link_)
            return;
        std::error_code error;
        if (fs::is_symlink(*link_, error) && fs::read_symlink(*link_, error) == fs::path(path_)) {
            fs::remove(*link_, error);
        }
    }

    std::optional<fs::path> link_;
    int master_ = -1;
    std::string path_;
    bool hostHadOpen_ = false;
};

}  // namespace

std::unique_ptr<SimLine> OpenPtyLine(const std::optional<std::filesystem::path>& link) {
    return std::make_unique<PtyLine>(link);
}

}  // namespace comflash::sim
