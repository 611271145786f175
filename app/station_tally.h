// The station window's totals: devices finished over all ports, good and
// failed apart, and how many finished in the last 60 minutes. While the
// station has been open for less than an hour, the hour is projected from the
// time since the first Open, so the figure means devices per hour from the
// start; the first minute counts as a whole one.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

namespace comflash {

class StationTally {
public:
    using Clock = std::chrono::steady_clock;

    struct Hour {
        long good = 0;
        long failed = 0;
        // Projected from less than an hour: the time the station has been open.
        std::optional<std::chrono::seconds> projectedFrom;
    };

    // The first Open starts the clock; later ones change nothing.
    void Opened(Clock::time_point now);
    void Finished(bool good, Clock::time_point now);

    unsigned Good() const { return good_; }
    unsigned Failed() const { return failed_; }
    Hour LastHour(Clock::time_point now) const;

    // "finished 14: 12 good, 2 failed"
    std::string TotalsText() const;
    // "last 60 min: 118 good, 4 failed" or "per hour: 60 good, 0 failed
    // (from 5 s open)"; "per hour: -" before the first Open.
    std::string HourText(Clock::time_point now) const;

private:
    struct Finish {
        Clock::time_point at;
        bool good;
    };

    std::optional<Clock::time_point> openedAt_;
    std::deque<Finish> lastHour_;
    unsigned good_ = 0;
    unsigned failed_ = 0;
};

}  // namespace comflash
