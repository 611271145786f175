#include "image/image_info.h"

#include <cstdio>

#include "image/sha256.h"
#include "protocol/crc16.h"

namespace comflash {

ImageInfo DescribeImage(const FirmwareImage& image) {
    const std::span<const std::uint8_t> bytes(image.Data.data(), image.Length);
    ImageInfo info;
    info.length = image.Length;
    info.crc = Crc16Ccitt(bytes);
    info.sha256 = Sha256Hex(bytes);
    return info;
}

std::string ImageCrcText(std::uint16_t crc) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", crc);
    return text;
}

std::string ImageInfoText(const ImageInfo& info, const std::string& indent) {
    std::string text;
    if (!info.firmware.empty())
        text += indent + "firmware: " + info.firmware + "\n";
    if (!info.imageText.empty())
        text += indent + "image text: " + info.imageText + "\n";
    return text + indent + "length: " + std::to_string(info.length) + " bytes\n" + indent +
           "CRC-16: " + ImageCrcText(info.crc) + "\n" + indent + "SHA-256: " + info.sha256 + "\n";
}

}  // namespace comflash
