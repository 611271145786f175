#include "protocol/frame.h"

#include <algorithm>
#include <optional>

#include "protocol/crc16.h"

namespace comflash {

void CloseAndSendFrame(LinkState& link, std::uint16_t lengthField) {
    if (lengthField > kMaxFrameLengthField)
        return;  // cannot be built in FrameBuffer
    auto& buffer = link.FrameBuffer;
    const std::uint16_t crc =
        Crc16Buffer(buffer.data(), static_cast<std::uint16_t>(lengthField + 4));
    buffer[4 + lengthField] = static_cast<std::uint8_t>(crc >> 8);
    buffer[5 + lengthField] = static_cast<std::uint8_t>(crc & 0xFF);
    if (link.Send)
        link.Send(buffer.data(), static_cast<std::uint16_t>(lengthField + kFrameOverhead));
}

namespace {

constexpr std::size_t kLengthAndCommandBytes = 3;  // after the sync pair: length field, command

// The first sync pair at or after start whose length field and command byte
// lie within the bytes.
std::optional<std::size_t> FirstSyncPair(std::span<const std::uint8_t> bytes, std::size_t start) {
    if (bytes.size() < 2 + kLengthAndCommandBytes + 1)
        return std::nullopt;
    const std::size_t lastSyncPosition = bytes.size() - 2 - kLengthAndCommandBytes;
    for (std::size_t p = start; p <= lastSyncPosition; ++p) {
        if (bytes[p] == kSyncByte && bytes[p + 1] == kSyncByte)
            return p;
    }
    return std::nullopt;
}

std::uint16_t LengthFieldAt(std::span<const std::uint8_t> bytes, std::size_t sync) {
    return static_cast<std::uint16_t>(bytes[sync + 2] << 8 | bytes[sync + 3]);
}

// The frame at sync lies within the bytes, length field given.
bool CheckPasses(std::span<const std::uint8_t> bytes, std::size_t sync, std::uint16_t length) {
    const std::uint16_t crc = Crc16Ccitt(bytes.subspan(sync, std::size_t{4} + length));
    return bytes[sync + 4 + length] == (crc >> 8) && bytes[sync + 5 + length] == (crc & 0xFF);
}

}  // namespace

std::uint16_t FindFrame(LinkState& link, std::uint16_t start) {
    const auto& area = link.ReceiveArea;
    const std::span<const std::uint8_t> chunk(
        area.data(), std::min<std::size_t>(link.ReceiveCount, area.size()));
    const auto p = FirstSyncPair(chunk, start);
    if (!p)
        return 0;

    const std::uint16_t length = LengthFieldAt(chunk, *p);
    link.LastFrameLength = length;
    if (*p + kFrameOverhead + length > chunk.size())
        return 0;  // check would lie beyond the chunk
    return CheckPasses(chunk, *p, length) ? static_cast<std::uint16_t>(*p + 4) : 0;
}

bool EndsWithCheckedFrame(std::span<const std::uint8_t> bytes) {
    const auto p = FirstSyncPair(bytes, 0);
    if (!p)
        return false;
    const std::uint16_t length = LengthFieldAt(bytes, *p);
    return *p + kFrameOverhead + length == bytes.size() && CheckPasses(bytes, *p, length);
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
