// Reads the firmware to be enciphered or compared: a raw binary image or an
// Intel HEX file. Every refusal says where and why, so that the operator can
// fix the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace comflash {

class FirmwareFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Larger files are refused unread: no firmware file of an image comes near it.
inline constexpr std::size_t kMaxFirmwareFileSize = 16 * 1024 * 1024;

// The bytes of an Intel HEX text, from the lowest to the highest address
// written, gaps filled with 0xFF; empty when the text writes no data. Records
// are fully checked and every error message starts with "line N: ". Spans
// longer than kMaxImageLength are refused before any image is allocated.
std::vector<std::uint8_t> ParseIntelHex(std::string_view text);

// A raw binary, or Intel HEX when the name ends in .hex or .ihx or the
// content looks like one. Errors start with the path.
std::vector<std::uint8_t> ReadFirmwareFile(const std::filesystem::path& path);

}  // namespace comflash
