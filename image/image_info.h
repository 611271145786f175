// What identifies an image for the people at a line: its length, the CRC-16
// the devices report after an update (the value --record writes as
// image_crc), its SHA-256, and where it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/firmware_image.h"

namespace comflash {

struct ImageInfo {
    std::string firmware;   // the firmware file the built-in image was made from
    std::string imageText;  // the image text file it was read from, if any
    std::size_t length = 0;
    std::uint16_t crc = 0;  // CRC-16 over the image's length
    std::string sha256;     // 64 hexadecimal digits
};

ImageInfo DescribeImage(const FirmwareImage& image);

// 0x1A2B: the form of image_crc in the record and of --expect-image-crc.
std::string ImageCrcText(std::uint16_t crc);

// One fact a line ("length: 12288 bytes"), each line starting with `indent`;
// the names of the files only when known.
std::string ImageInfoText(const ImageInfo& info, const std::string& indent = "");

}  // namespace comflash
