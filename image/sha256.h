// SHA-256 (FIPS 180-4), for naming an image beyond doubt: the CRC-16 the
// devices report tells images apart on the line, the SHA-256 tells them apart
// for the people who release firmware.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace comflash {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::span<const std::uint8_t> bytes);

// The digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace comflash
