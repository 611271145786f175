// CRC-16 of the device link: polynomial 0x1021, most significant bit first,
// no reflection, no final XOR (CRC-16/CCITT-FALSE with the preset 0xFFFF).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace comflash {

inline constexpr std::uint16_t kCrcPreset = 0xFFFF;

// One step in bit-by-bit form. The table below is built from it, so the two
// forms cannot drift apart.
constexpr std::uint16_t Crc16StepBitwise(std::uint16_t crc, std::uint8_t byte) {
    const unsigned v = byte ^ (crc >> 8);
    unsigned acc = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = (acc & 0x8000) != 0;
        const bool in = ((v >> bit) & 1) != 0;
        acc = (acc << 1) & 0xFFFF;
        if (top != in) acc ^= 0x1021;
    }
    return static_cast<std::uint16_t>(((crc << 8) & 0xFFFF) ^ acc);
}

inline constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) table[i] = Crc16StepBitwise(0, static_cast<std::uint8_t>(i));
    return table;
}();

// One step in table form: the one every caller uses.
constexpr std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ byte) & 0xFF]);
}

// CRC over a run of bytes from a given preset.
std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t preset = kCrcPreset);

// CRC with the frame preset over the first n bytes of a buffer.
std::uint16_t Crc16Buffer(const std::uint8_t* buffer, std::uint16_t n);

}  // namespace comflash
