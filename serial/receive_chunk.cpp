#include "serial/receive_chunk.h"

#include <cstring>

namespace comflash {

ReceiveChunk::ReceiveChunk(const SharedReadCompletion& completion)
    : completion_(completion), deadline_(CommTimeouts{}, Clock::time_point{}) {}

void ReceiveChunk::Begin(const CommTimeouts& timeouts, Clock::time_point now) {
    deadline_ = ReadDeadline(timeouts, now);
    whole_ = 0;
    rule_.reset();
    if (held_ > 0) {
        deadline_.BytesArrived(now);
        rule_ = completion_.Load();
        Examine(0);
    }
}

void ReceiveChunk::Arrived(std::size_t count, Clock::time_point now) {
    const std::size_t before = held_;
    held_ += count;
    deadline_.BytesArrived(now);
    if (before == 0)
        rule_ = completion_.Load();
    Examine(before);
}

std::size_t ReceiveChunk::ReadyNow() const {
    if (whole_ > 0)
        return whole_;
    return deadline_.CompleteAtOnce(held_) ? held_ : 0;
}

void ReceiveChunk::Delivered(std::size_t count) {
    std::memmove(buffer_.data(), buffer_.data() + count, held_ - count);
    held_ -= count;
    whole_ = 0;
    rule_.reset();
}

// Bytes that came in one piece are put to the rule one length at a time, so
// that a unit ends where its last byte is, whatever followed it in the piece.
void ReceiveChunk::Examine(std::size_t from) {
    if (!rule_ || whole_ > 0)
        return;
    for (std::size_t length = from + 1; length <= held_; ++length) {
        if ((*rule_)(std::span<const std::uint8_t>(buffer_.data(), length))) {
            whole_ = length;
            return;
        }
    }
}

}  // namespace comflash
