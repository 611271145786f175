#include "protocol/frame.h"

#include <algorithm>

#include "protocol/crc16.h"

namespace comflash {

void CloseAndSendFrame(LinkState& link, std::uint16_t lengthField) {
    if (lengthField > kMaxFrameLengthField) return;  // cannot be built in FrameBuffer
    auto& buffer = link.FrameBuffer;
    const std::uint16_t crc = Crc16Buffer(buffer.data(), static_cast<std::uint16_t>(lengthField + 4));
    buffer[4 + lengthField] = static_cast<std::uint8_t>(crc >> 8);
    buffer[5 + lengthField] = static_cast<std::uint8_t>(crc & 0xFF);
    if (link.Send) link.Send(buffer.data(), static_cast<std::uint16_t>(lengthField + kFrameOverhead));
}

std::uint16_t FindFrame(LinkState& link, std::uint16_t start) {
    const auto& area = link.ReceiveArea;
    const std::size_t count = std::min<std::size_t>(link.ReceiveCount, area.size());
    if (count <= 5) return 0;
    const std::size_t lastSyncPosition = count - 5;
    if (start > lastSyncPosition) return 0;

    std::size_t p = start;
    while (p <= lastSyncPosition && !(area[p] == kSyncByte && area[p + 1] == kSyncByte)) ++p;
    if (p > lastSyncPosition) return 0;

    const std::uint16_t length = static_cast<std::uint16_t>(area[p + 2] << 8 | area[p + 3]);
    link.LastFrameLength = length;
    if (p + kFrameOverhead + length > count) return 0;  // check would lie beyond the chunk

    const std::uint16_t crc = Crc16Ccitt({area.data() + p, std::size_t{4} + length});
    const bool matches = area[p + 4 + length] == (crc >> 8) && area[p + 5 + length] == (crc & 0xFF);
    return matches ? static_cast<std::uint16_t>(p + 4) : 0;
}

std::vector<std::uint8_t> EncodeFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    const std::size_t length = payload.size() + 1;
    std::vector<std::uint8_t> frame(length + kFrameOverhead);
    frame[0] = kSyncByte;
    frame[1] = kSyncByte;
    frame[2] = static_cast<std::uint8_t>(length >> 8);
    frame[3] = static_cast<std::uint8_t>(length & 0xFF);
    frame[4] = command;
    std::copy(payload.begin(), payload.end(), frame.begin() + 5);
    const std::uint16_t crc = Crc16Ccitt({frame.data(), length + 4});
    frame[length + 4] = static_cast<std::uint8_t>(crc >> 8);
    frame[length + 5] = static_cast<std::uint8_t>(crc & 0xFF);
    return frame;
}

}  // namespace comflash
