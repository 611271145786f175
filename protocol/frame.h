// The frame that carries every message on the link:
//   AB AB | length L (16-bit BE, command + payload) | command | payload | CRC (BE)
// The CRC runs from the first sync byte to the last payload byte.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/link_state.h"

namespace comflash {

inline constexpr std::uint8_t kSyncByte = 0xAB;
inline constexpr std::size_t kFrameOverhead = 6;  // sync pair, length field, check
// Largest length field whose frame still fits FrameBuffer.
inline constexpr std::uint16_t kMaxFrameLengthField = kLinkAreaSize - kFrameOverhead;

// Closes the frame whose first 4 + lengthField bytes stand in FrameBuffer
// with its check and hands all lengthField + 6 bytes to link.Send. The send
// result is deliberately not looked at: on a closed port the frame is dropped.
void CloseAndSendFrame(LinkState& link, std::uint16_t lengthField);

// Offset in ReceiveArea of the command byte of the first frame found at or
// after start, or 0 when there is none. Only the first sync pair is examined.
// Sets LastFrameLength to the length field of the frame it examined. A length
// field that would put the check beyond the received chunk means "no frame":
// nothing outside the chunk is ever read.
std::uint16_t FindFrame(LinkState& link, std::uint16_t start);

// Whether received bytes already hold a whole reply, looked at as FindFrame
// looks: the frame at the first sync pair passes its check and its last byte
// is the last of the bytes. A first sync pair that is noise never makes the
// bytes whole, and neither do bytes beyond a frame.
bool EndsWithCheckedFrame(std::span<const std::uint8_t> bytes);

// A whole closed frame as bytes, for the device side and for tests.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t command, std::span<const std::uint8_t> payload);

}  // namespace comflash
