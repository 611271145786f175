// Fills the firmware image from the enciphered image text, once at start-up.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "image/image_source.h"
#include "protocol/firmware_image.h"

namespace comflash {

// The image resource is missing from the program: "Resource RESLABEL not found".
class EResNotFound : public std::runtime_error {
public:
    explicit EResNotFound(std::string_view name);
};

enum class ImageLoadResult {
    Loaded,
    NotAnImage,  // empty, damaged or too short text: the image stays empty
    TooLong,     // a valid text of more than kMaxImageLength bytes: kept empty
};

// Reads the image resource from `source`, deciphers it and stores the image
// in `image`. Any failure to decode leaves the image empty (Length 0) and is
// reported only through the result; a missing resource throws EResNotFound.
// Data beyond Length is zero afterwards in every case.
ImageLoadResult LoadEmbeddedImage(const ImageSource& source, FirmwareImage& image);

}  // namespace comflash
