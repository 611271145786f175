// Actions a simulated device has scheduled for later: the next hello, a reply
// held back by the wire, the second half of a split reply.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace comflash::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

class Timeline {
public:
    using Action = std::function<void(TimePoint now)>;

    // Actions due at the same time run in the order they were scheduled.
    void At(TimePoint when, Action action) { actions_.emplace(when, std::move(action)); }

    void RunDue(TimePoint now) {
        while (!actions_.empty() && actions_.begin()->first <= now) {
            auto node = actions_.extract(actions_.begin());
            node.mapped()(now);
        }
    }

    std::optional<TimePoint> Next() const {
        if (actions_.empty())
            return std::nullopt;
        return actions_.begin()->first;
    }

    void Clear() { actions_.clear(); }

private:
    std::multimap<TimePoint, Action> actions_;
};

inline std::optional<TimePoint> Earliest(std::optional<TimePoint> a, std::optional<TimePoint> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

}  // namespace comflash::sim
