// Captures what the frame senders hand to the port.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/link_state.h"

namespace comflash::testing {

struct FrameCapture {
    std::vector<std::vector<std::uint8_t>> frames;

    void Attach(LinkState& link) {
        link.Send = [this](const std::uint8_t* data, std::uint16_t length) {
            frames.emplace_back(data, data + length);
            return true;
        };
    }
    const std::vector<std::uint8_t>& Last() const { return frames.back(); }
};

inline void PutChunk(LinkState& link, const std::vector<std::uint8_t>& chunk) {
    std::copy(chunk.begin(), chunk.end(), link.ReceiveArea.begin());
    link.ReceiveCount = static_cast<std::uint16_t>(chunk.size());
}

}  // namespace comflash::testing
