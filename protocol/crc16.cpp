#include "protocol/crc16.h"

namespace comflash {

std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t preset) {
    std::uint16_t crc = preset;
    for (std::uint8_t b : bytes) crc = Crc16Step(crc, b);
    return crc;
}

std::uint16_t Crc16Buffer(const std::uint8_t* buffer, std::uint16_t n) {
    return Crc16Ccitt({buffer, n}, kCrcPreset);
}

}  // namespace comflash
