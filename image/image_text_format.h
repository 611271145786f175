// The fixed numbers of the enciphered image text and of the resource that
// carries it. The tool and every text ever built depend on them: changing
// one makes all existing image texts unreadable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace comflash {

// Where the image text lives in the executable.
inline constexpr std::string_view kImageResourceName = "RESLABEL";
inline constexpr std::string_view kImageResourceType = "MYTEXT";
// Only this much of the resource is read (not 655360).
inline constexpr std::size_t kImageTextReadLimit = 655350;
// Only bytes in this range are characters of the text; all others are dropped.
inline constexpr unsigned char kFirstTextByte = 0x20;
inline constexpr unsigned char kLastTextByte = 0x7F;

// The key the loader deciphers with, and so the one every build must encipher with.
inline constexpr std::uint16_t kImageTextKey = 40619;

// Positions (counted from 1) of the enciphered bytes: up to the first zone end
// a fixed shift, up to the second zone end a complement, after it the key stream.
inline constexpr std::size_t kShiftZoneEnd = 516;
inline constexpr std::size_t kComplementZoneEnd = 819;
inline constexpr std::uint8_t kOddPositionShift = 0x3C;   // subtracted when deciphering
inline constexpr std::uint8_t kEvenPositionShift = 0x2B;  // added when deciphering

inline constexpr std::uint32_t kKeyStreamMultiplier = 58213;
inline constexpr std::uint32_t kKeyStreamIncrement = 12087;

// Seed of the CRC-16 that closes the decoded bytes.
inline constexpr std::uint16_t kImageCrcSeed = 0x6011;
inline constexpr std::size_t kImageCrcSize = 2;

// The shortest image a text can carry: fewer decoded bytes than this plus the
// CRC are refused as no image.
inline constexpr std::size_t kMinImageLength = 2;

}  // namespace comflash
