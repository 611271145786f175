// Firmware bytes for the tests, and writing them where --expect reads them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace comflash::simtest {

// Deterministic bytes that change from block to block and byte to byte.
inline std::vector<std::uint8_t> TestFirmware(std::size_t length, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

inline void WriteBinary(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace comflash::simtest
