#include "app/station_tally.h"

#include <algorithm>
#include <cmath>

namespace comflash {
namespace {

constexpr std::chrono::minutes kHour{60};

std::string Duration(std::chrono::seconds span) {
    if (span < std::chrono::minutes(1))
        return std::to_string(span.count()) + " s";
    return std::to_string(std::chrono::duration_cast<std::chrono::minutes>(span).count()) + " min";
}

}  // namespace

void StationTally::Opened(Clock::time_point now) {
    if (!openedAt_)
        openedAt_ = now;
}

void StationTally::Finished(bool good, Clock::time_point now) {
    ++(good ? good_ : failed_);
    lastHour_.push_back({now, good});
    while (!lastHour_.empty() && lastHour_.front().at <= now - kHour)
        lastHour_.pop_front();
}

StationTally::Hour StationTally::LastHour(Clock::time_point now) const {
    Hour hour;
    for (const Finish& finish : lastHour_) {
        if (finish.at > now - kHour)
            ++(finish.good ? hour.good : hour.failed);
    }
    if (!openedAt_ || now - *openedAt_ >= kHour)
        return hour;
    // An hour from what the time open has shown. The first minute counts as
    // a whole one, so the first devices do not make a wild figure.
    const auto open = now - *openedAt_;
    const double scale = std::chrono::duration<double>(kHour) /
                         std::max<Clock::duration>(open, std::chrono::minutes(1));
    hour.good = std::lround(static_cast<double>(hour.good) * scale);
    hour.failed = std::lround(static_cast<double>(hour.failed) * scale);
    hour.projectedFrom = std::chrono::duration_cast<std::chrono::seconds>(open);
    return hour;
}

std::string StationTally::TotalsText() const {
    return "finished " + std::to_string(good_ + failed_) + ": " + std::to_string(good_) +
           " good, " + std::to_string(failed_) + " failed";
}

std::string StationTally::HourText(Clock::time_point now) const {
    if (!openedAt_)
        return "per hour: -";
    const Hour hour = LastHour(now);
    const std::string counts =
        std::to_string(hour.good) + " good, " + std::to_string(hour.failed) + " failed";
    if (!hour.projectedFrom)
        return "last 60 min: " + counts;
    return "per hour: " + counts + " (from " + Duration(*hour.projectedFrom) + " open)";
}

}  // namespace comflash
