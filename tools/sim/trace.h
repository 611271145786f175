// --trace: every frame in and out and every line event, with the
// milliseconds since the simulator started, on standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "tools/sim/timeline.h"

namespace comflash::sim {

enum class Direction { FromHost, ToHost };

class Trace {
public:
    Trace(bool enabled, TimePoint start) : enabled_(enabled), start_(start) {}

    void Frame(unsigned device, Direction direction, std::span<const std::uint8_t> bytes,
               std::optional<int> baud, std::string_view note = {}) const;
    void Event(unsigned device, std::string_view text) const;

private:
    bool enabled_;
    TimePoint start_;
};

}  // namespace comflash::sim
