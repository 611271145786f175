#include "serial/transmit_queue.h"

namespace comflash {

bool TransmitQueue::Push(std::vector<std::uint8_t> block) {
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    blocks_.push_back(std::move(block));
    return true;
}

std::optional<std::vector<std::uint8_t>> TransmitQueue::Pop() {
    std::lock_guard lock(mutex_);
    if (blocks_.empty())
        return std::nullopt;
    std::vector<std::uint8_t> block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

void TransmitQueue::Close() {
    std::deque<std::vector<std::uint8_t>> dropped;
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(blocks_);
}

}  // namespace comflash
