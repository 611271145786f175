// The simulated device's own side of the link: the frame it reads and writes,
// its check, its command bytes and the places of its memory the host names.
// Written from the device's view and sharing nothing with the tool's
// protocol code: were the two to share a wrong constant, check or frame
// layout, every exchange would still succeed and the fault would pass
// unseen. A table of fixed frames (tests/protocol/frame_vectors_test.cpp)
// holds both sides to the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace comflash::sim::link {

inline constexpr std::uint8_t kSync = 0xAB;
// Sync pair, length field and check around command and payload.
inline constexpr std::size_t kFrameOverhead = 6;
// The longest length field whose frame still fits the host's 2049-byte area.
inline constexpr std::size_t kLongestLengthField = 2049 - kFrameOverhead;
// The host reads at most 2048 bytes at a time.
inline constexpr std::size_t kHostReadSize = 2048;

// Command bytes: the device's hello, the host's requests, and the device's
// replies, which carry the command of their request.
inline constexpr std::uint8_t kHello = 0xAA;
inline constexpr std::uint8_t kHelloMarker = 0x99;  // first payload byte of a hello
inline constexpr std::uint8_t kHandshake = 0x99;
inline constexpr std::uint8_t kIdentity = 0x95;
inline constexpr std::uint8_t kWrite = 0x94;
inline constexpr std::uint8_t kChecksum = 0x93;
inline constexpr std::uint8_t kBlock = 0x91;
inline constexpr std::uint8_t kFinish = 0x9A;

inline constexpr std::uint8_t kStatusDone = 1;
inline constexpr std::uint8_t kStatusRefused = 0;

// The device's memory as the host addresses it.
inline constexpr std::uint16_t kEepromInitAddress = 0x0000;
inline constexpr std::uint16_t kIdentityAddress = 0x01E0;
inline constexpr std::uint16_t kSerialRecordAddress = 0x03ED;
inline constexpr std::string_view kSerialRecordTag = "VTM";
inline constexpr std::size_t kLongestSerialText = 16;

// The text of a serial-number record after its tag: the number and '#', at
// most kLongestSerialText characters.
std::string RecordText(std::string_view serialNumber);

// CRC-16 with polynomial 0x1021, most significant bit first, one bit at a
// time: the device's check of every frame and of its flash.
std::uint16_t CrcStep(std::uint16_t crc, std::uint8_t byte);
inline constexpr std::uint16_t kCrcPreset = 0xFFFF;
std::uint16_t Crc(std::span<const std::uint8_t> bytes, std::uint16_t preset = kCrcPreset);

// A whole frame, sync pair to check.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t command, std::span<const std::uint8_t> payload);
// Whether the last two bytes of a whole frame are the check of the rest.
bool CheckHolds(std::span<const std::uint8_t> frame);

}  // namespace comflash::sim::link
