// Reads a fuzz input front to back. Past its end every read gives the
// fallback (or nothing), so a driver never has to check the length first and
// always comes to an end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace comflash::fuzz {

class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool Empty() const { return rest_.empty(); }

    std::uint8_t Byte(std::uint8_t fallback = 0) {
        if (rest_.empty())
            return fallback;
        const std::uint8_t b = rest_.front();
        rest_ = rest_.subspan(1);
        return b;
    }

    // High byte first, as on the link.
    std::uint16_t Word() {
        const std::uint8_t high = Byte();
        return static_cast<std::uint16_t>(high << 8 | Byte());
    }

    // Up to `count` bytes; fewer at the end of the input.
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        const auto taken = rest_.first(std::min(count, rest_.size()));
        rest_ = rest_.subspan(taken.size());
        return taken;
    }

private:
    std::span<const std::uint8_t> rest_;
};

}  // namespace comflash::fuzz
