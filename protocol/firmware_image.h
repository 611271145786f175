// The decoded firmware image: written once by the loader, read by the
// controller and the block encoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace comflash {

inline constexpr std::size_t kImageAreaSize = 65536;
// Offsets are 16-bit: the last 256-byte block of a longer image would carry
// its offset past 65535, so no image may be longer than this.
inline constexpr std::size_t kMaxImageLength = 65280;

struct FirmwareImage {
    std::array<std::uint8_t, kImageAreaSize> Data{};  // zero beyond Length
    std::uint16_t Length = 0;                         // 0: no image
};

}  // namespace comflash
