// Every frame the tool sends to the device apart from image blocks, and the
// command codes of the link. Each sender builds its frame in FrameBuffer and
// closes and sends it with CloseAndSendFrame.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/link_state.h"

namespace comflash {

namespace command {
inline constexpr std::uint8_t kBlock = 0x91;
inline constexpr std::uint8_t kChecksum = 0x93;
inline constexpr std::uint8_t kWrite = 0x94;
inline constexpr std::uint8_t kIdentity = 0x95;
inline constexpr std::uint8_t kHandshake = 0x99;
inline constexpr std::uint8_t kFinish = 0x9A;
inline constexpr std::uint8_t kHello = 0xAA;  // from the device; first payload byte 0x99
}  // namespace command

inline constexpr std::uint8_t kHelloMarker = 0x99;
inline constexpr std::uint8_t kModeByte = 0x61;
inline constexpr std::uint8_t kFinishPayload = 0xAA;
inline constexpr std::uint8_t kStatusOk = 1;

// Device memory the tool touches.
inline constexpr std::uint16_t kIdentityAddress = 0x01E0;
inline constexpr std::uint16_t kIdentityLength = 0x0260;  // 608 bytes, up to 0x043F
inline constexpr std::uint16_t kEepromInitAddress = 0x0000;
inline constexpr std::uint16_t kEepromInitLength = 16;
inline constexpr std::uint16_t kSerialRecordAddress = 0x03ED;
inline constexpr std::string_view kSerialRecordTag = "VTM";
inline constexpr std::size_t kMaxSerialTextLength = 16;
// Ends the serial number in the record; the device keeps what comes before it.
inline constexpr char kSerialRecordEnd = '#';

// One evolution step of the handshake key: ((33 k + 0xC7) mod 256) XOR 0xA9.
std::uint8_t EvolveHandshakeKey(std::uint8_t key);

// The text a serial-number record carries: the serial number and "#", cut to
// its first 16 characters.
std::string RecordTextFor(std::string_view serialNumber);

void SendHandshakeReply(LinkState& link);  // evolves HandshakeKeyByte first
void SendIdentityRequest(LinkState& link);
void SendEepromInit(LinkState& link);
void SendSerialRecord(LinkState& link, std::string_view serialNumber);
void SendChecksumRequest(LinkState& link);  // carries ChecksumCount
void SendFinish(LinkState& link);

}  // namespace comflash
