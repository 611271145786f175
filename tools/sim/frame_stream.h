// The device's receiver: host bytes in, checked frames out. Unlike the host,
// the device joins frames that arrive over several reads and resynchronises
// after a frame whose check fails.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "tools/sim/line_speed.h"
#include "tools/sim/timeline.h"

namespace comflash::sim {

struct ReceivedFrame {
    std::vector<std::uint8_t> bytes;  // the whole frame, sync to check
    std::uint8_t command = 0;
    std::span<const std::uint8_t> Payload() const {
        return std::span(bytes).subspan(5, bytes.size() - 7);
    }
    // Whether every byte of the frame can have come at this speed.
    bool CameAt(int baud) const;

    std::vector<SpeedWindow> speeds;  // of the reads the frame came in
    TimePoint arrivedAt;
};

class FrameStream {
public:
    // A real receiver drops a half frame after a pause; so does this one.
    static constexpr Millis kDefaultPartialFrameTimeout{200};

    explicit FrameStream(Millis partialFrameTimeout = kDefaultPartialFrameTimeout)
        : partialFrameTimeout_(partialFrameTimeout) {}

    void Feed(std::span<const std::uint8_t> bytes, SpeedWindow speed, TimePoint now);
    std::optional<ReceivedFrame> Next(TimePoint now);
    // When a half frame would be dropped, if one is waiting.
    std::optional<TimePoint> PartialDeadline() const;
    unsigned BadChecks() const { return badChecks_; }
    // Bytes kept for a frame that is not whole yet.
    std::size_t Held() const { return bytes_.size(); }
    void Clear();

private:
    void Drop(std::size_t count);

    Millis partialFrameTimeout_;
    std::deque<std::uint8_t> bytes_;
    std::deque<SpeedWindow> speedOf_;  // of each byte, from the read it came in
    TimePoint lastByteAt_{};
    unsigned badChecks_ = 0;
};

}  // namespace comflash::sim
