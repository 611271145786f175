#include "tools/sim/frame_stream.h"

#include <algorithm>

#include "tools/sim/device_link.h"

namespace comflash::sim {

bool ReceivedFrame::CameAt(int baud) const {
    return std::all_of(speeds.begin(), speeds.end(),
                       [baud](const SpeedWindow& window) { return window.Allows(baud); });
}

void FrameStream::Feed(std::span<const std::uint8_t> bytes, SpeedWindow speed, TimePoint now) {
    if (bytes.empty())
        return;
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    speedOf_.insert(speedOf_.end(), bytes.size(), speed);
    lastByteAt_ = now;
}

std::optional<ReceivedFrame> FrameStream::Next(TimePoint now) {
    const bool stale = now - lastByteAt_ >= partialFrameTimeout_;
    while (true) {
        // Everything before the first sync pair is line noise to the device.
        std::size_t sync = 0;
        while (sync + 1 < bytes_.size() &&
               !(bytes_[sync] == link::kSync && bytes_[sync + 1] == link::kSync)) {
            ++sync;
        }
        if (sync + 1 >= bytes_.size()) {
            // Keep a last 0xAB while more may follow: it may be the first
            // half of the next sync pair.
            const bool keepLast = !stale && !bytes_.empty() && bytes_.back() == link::kSync;
            Drop(bytes_.size() - (keepLast ? 1 : 0));
            return std::nullopt;
        }
        Drop(sync);

        if (bytes_.size() < 4) {
            if (!stale)
                return std::nullopt;
            Drop(1);  // the rest never came
            continue;
        }
        const std::size_t length = std::size_t{bytes_[2]} << 8 | bytes_[3];
        if (length == 0 || length > link::kLongestLengthField) {
            Drop(1);  // not a header after all
            continue;
        }
        const std::size_t size = length + link::kFrameOverhead;
        if (bytes_.size() < size) {
            if (!stale)
                return std::nullopt;
            Drop(1);  // the rest never came
            continue;
        }

        ReceivedFrame frame;
        frame.bytes.assign(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size));
        if (!link::CheckHolds(frame.bytes)) {
            ++badChecks_;
            Drop(1);  // a later sync pair may start a good frame
            continue;
        }
        frame.command = frame.bytes[4];
        for (std::size_t i = 0; i < size; ++i) {
            const SpeedWindow& window = speedOf_[i];
            if (frame.speeds.empty() || !(frame.speeds.back() == window)) {
                frame.speeds.push_back(window);
            }
        }
        frame.arrivedAt = lastByteAt_;
        Drop(size);
        return frame;
    }
}

std::optional<TimePoint> FrameStream::PartialDeadline() const {
    if (bytes_.empty())
        return std::nullopt;
    return lastByteAt_ + partialFrameTimeout_;
}

void FrameStream::Clear() {
    bytes_.clear();
    speedOf_.clear();
}

void FrameStream::Drop(std::size_t count) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
    speedOf_.erase(speedOf_.begin(), speedOf_.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace comflash::sim
