// Line speeds: those the simulated device can listen at, and what the device
// can know of the speed the host's bytes came at.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace comflash::sim {

inline constexpr int kBaseBaud = 9600;
inline constexpr int kDefaultUpdateBaud = 38400;

inline constexpr std::array<int, 12> kSupportedBauds = {
    1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 500000, 921600};

inline bool IsSupportedBaud(int baud) {
    return std::find(kSupportedBauds.begin(), kSupportedBauds.end(), baud) != kSupportedBauds.end();
}

// The speeds the host's line had while the bytes of one read can have been
// written: every speed sampled from the read before up to this read. The
// device cannot see a speed change as it happens, only sample the speed, so
// a byte counts as sent at any speed seen in that time.
class SpeedWindow {
public:
    void Note(std::optional<int> baud) {
        if (!baud)
            return;
        seen_ |= BitOf(*baud);
        last_ = *baud;
    }
    // A line that cannot report its speed allows every speed.
    bool Allows(int baud) const { return seen_ == 0 || (seen_ & BitOf(baud)) != 0; }
    std::optional<int> Last() const { return last_; }

    friend bool operator==(const SpeedWindow&, const SpeedWindow&) = default;

private:
    static std::uint32_t BitOf(int baud) {
        const auto found = std::find(kSupportedBauds.begin(), kSupportedBauds.end(), baud);
        constexpr std::uint32_t kOtherSpeed = 1u << 31;
        return found == kSupportedBauds.end()
                   ? kOtherSpeed
                   : 1u << static_cast<unsigned>(found - kSupportedBauds.begin());
    }

    std::uint32_t seen_ = 0;
    std::optional<int> last_;
};

}  // namespace comflash::sim
