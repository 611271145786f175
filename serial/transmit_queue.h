// Blocks waiting for the transmit thread, handed over from any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace comflash {

class TransmitQueue {
public:
    // False once the queue is closed: the transmit thread has ended.
    bool Push(std::vector<std::uint8_t> block);
    std::optional<std::vector<std::uint8_t>> Pop();
    // Refuses further blocks and releases the ones still waiting.
    void Close();

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> blocks_;
    bool closed_ = false;
};

}  // namespace comflash
