// A rule by which the owner of a port lets a read end as soon as its bytes
// form a whole unit, before the read time-outs would end it. The component
// knows nothing of what a unit is: the rule does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

namespace comflash {

// True when `bytes`, the read so far from its first byte, already hold a
// whole unit. Called on the receive thread after every byte that arrives, so
// it must be cheap and depend on nothing but its argument.
using ReadCompletion = std::function<bool(std::span<const std::uint8_t> bytes)>;

// The rule in force, set on the owning thread while the receive thread runs;
// the receive thread takes it at the first byte of each chunk.
class SharedReadCompletion {
public:
    // An empty rule: reads end by their time-outs alone.
    void Store(ReadCompletion rule) {
        auto held = rule ? std::make_shared<const ReadCompletion>(std::move(rule)) : nullptr;
        std::lock_guard lock(mutex_);
        rule_ = std::move(held);
    }
    std::shared_ptr<const ReadCompletion> Load() const {
        std::lock_guard lock(mutex_);
        return rule_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const ReadCompletion> rule_;
};

}  // namespace comflash
