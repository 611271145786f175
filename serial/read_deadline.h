// When one read of up to kReceiveBufferSize bytes completes, by the Windows
// meaning of the read time-outs, measured in milliseconds on a monotonic clock.
//
//   interval I, multiplier M, constant C   the read completes
//   I only (M = C = 0)                     I ms after the latest byte, once
//                                          at least one byte has come
//   M or C set                             also M * 2048 + C ms after it began,
//                                          with what it holds
//   all zero                               only when the buffer is full
//   I = MAXDWORD, M = C = 0                at once with the bytes that are there
//   I = MAXDWORD, M = MAXDWORD, C set      at once with the bytes that are
//                                          there, or at the first byte within C ms
//
// A read never completes empty: where Windows would return no bytes (a total
// time-out with a silent line, or I = MAXDWORD with nothing waiting), the read
// begins again, so a silent line costs no processor time and never ends the
// receive thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "serial/line_settings.h"

namespace comflash {

class ReadDeadline {
public:
    using Clock = std::chrono::steady_clock;

    ReadDeadline(const CommTimeouts& timeouts, Clock::time_point start);

    // Bytes came in at `now`: the interval time-out runs from here.
    void BytesArrived(Clock::time_point now) { latestByte_ = now; }
    // A total time-out ran out on an empty read: the read begins again.
    void Restart(Clock::time_point now);

    // True when the read is to complete now with the `held` bytes it has.
    bool CompleteAtOnce(std::size_t held) const;
    // When the read completes if no further byte comes; nullopt: no limit.
    std::optional<Clock::time_point> Deadline(std::size_t held) const;

private:
    CommTimeouts timeouts_;
    bool returnAtOnce_ = false;
    std::optional<Clock::duration> total_;
    Clock::time_point start_;
    Clock::time_point latestByte_;
};

// When one write of `length` bytes stops waiting for the line (the rest is then
// written by a new write); nullopt: no limit.
std::optional<std::chrono::steady_clock::time_point> WriteDeadline(
    const CommTimeouts& timeouts, std::chrono::steady_clock::time_point start, std::size_t length);

}  // namespace comflash
