// The serial number that the next device receives, shared by every port of
// the process. Only one port at a time serves a device, from its hello to the
// end of its run, so that two devices never receive the same number.
#pragma once

#include <string>

namespace comflash::cli {

class SerialNumberPool {
public:
    explicit SerialNumberPool(std::string next) : next_(std::move(next)) {}

    const std::string& Next() const { return next_; }
    void SetNext(const std::string& text) { next_ = text; }

    // True when `owner` may write now; it keeps the turn until Release.
    bool TryAcquire(const void* owner) {
        if (owner_ != nullptr && owner_ != owner)
            return false;
        owner_ = owner;
        return true;
    }
    void Release(const void* owner) {
        if (owner_ == owner)
            owner_ = nullptr;
    }

private:
    std::string next_;
    const void* owner_ = nullptr;
};

}  // namespace comflash::cli
