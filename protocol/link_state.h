// The per-port state of the device link: the transmit and receive areas and
// the values the frame senders read and write. One object per open port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace comflash {

inline constexpr std::size_t kLinkAreaSize = 2049;
inline constexpr std::uint16_t kBlockLength = 256;
inline constexpr std::uint16_t kPositionMask = 0x00FF;

// Hands a closed frame to the port. The bytes are valid only during the call.
using SendFunction = std::function<bool(const std::uint8_t* data, std::uint16_t length)>;

struct LinkState {
    std::array<std::uint8_t, kLinkAreaSize> FrameBuffer{};
    std::array<std::uint8_t, kLinkAreaSize> ReceiveArea{};
    std::uint16_t ReceiveCount = 0;
    std::uint16_t LastFrameLength = 0;

    std::uint8_t ProtocolVersion = 0;   // version digit of the last hello
    std::uint8_t HandshakeKeyByte = 0;  // evolves with every handshake reply, never reset

    std::uint16_t BlockOffset = 0;
    std::uint16_t BlockLength = kBlockLength;
    std::uint16_t PositionMask = kPositionMask;
    std::uint16_t ChecksumCount = 0;

    SendFunction Send;  // unset: frames are dropped, as on a closed port
};

}  // namespace comflash
