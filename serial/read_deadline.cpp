#include "serial/read_deadline.h"

#include <algorithm>
#include <cstdint>

namespace comflash {
namespace {

using std::chrono::milliseconds;

// Beyond a few months a time-out is as good as none, and the clock's range is
// not at risk.
constexpr std::uint64_t kLongestTimeoutMs = 1ull << 33;

std::optional<std::chrono::steady_clock::duration> TotalTimeout(std::uint32_t multiplier,
                                                                std::uint32_t constant,
                                                                std::size_t length) {
    if (multiplier == 0 && constant == 0)
        return std::nullopt;
    const std::uint64_t total = std::uint64_t{multiplier} * length + constant;
    if (total > kLongestTimeoutMs)
        return std::nullopt;
    return milliseconds(total);
}

}  // namespace

ReadDeadline::ReadDeadline(const CommTimeouts& timeouts, Clock::time_point start)
    : timeouts_(timeouts), start_(start), latestByte_(start) {
    const bool no_interval = timeouts.ReadIntervalTimeout == kMaxDword;
    const std::uint32_t multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const std::uint32_t constant = timeouts.ReadTotalTimeoutConstant;
    if (no_interval && multiplier == 0 && constant == 0) {
        returnAtOnce_ = true;
    } else if (no_interval && multiplier == kMaxDword && constant != 0 && constant != kMaxDword) {
        returnAtOnce_ = true;
        total_ = milliseconds(constant);
    } else {
        total_ = TotalTimeout(multiplier, constant, kReceiveBufferSize);
    }
}

void ReadDeadline::Restart(Clock::time_point now) {
    start_ = latestByte_ = now;
}

bool ReadDeadline::CompleteAtOnce(std::size_t held) const {
    return held >= kReceiveBufferSize || (returnAtOnce_ && held > 0);
}

std::optional<ReadDeadline::Clock::time_point> ReadDeadline::Deadline(std::size_t held) const {
    std::optional<Clock::time_point> deadline;
    if (total_)
        deadline = start_ + *total_;
    const std::uint32_t interval = timeouts_.ReadIntervalTimeout;
    if (held > 0 && interval != 0 && interval != kMaxDword) {
        const Clock::time_point interval_end = latestByte_ + milliseconds(interval);
        deadline = deadline ? std::min(*deadline, interval_end) : interval_end;
    }
    return deadline;
}

std::optional<std::chrono::steady_clock::time_point> WriteDeadline(
    const CommTimeouts& timeouts, std::chrono::steady_clock::time_point start, std::size_t length) {
    const auto total = TotalTimeout(timeouts.WriteTotalTimeoutMultiplier,
                                    timeouts.WriteTotalTimeoutConstant, length);
    if (!total)
        return std::nullopt;
    return start + *total;
}

}  // namespace comflash
