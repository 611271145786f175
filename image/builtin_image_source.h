// The image text linked into the program at build time (comflash-pack encode
// of the firmware named by the COMFLASH_FIRMWARE build setting). It is the
// one resource RESLABEL of type MYTEXT; every other name is missing.
//
// Lives in the library comflash_builtin_image, not in the core, because the
// packer that makes the text links the core.
#pragma once

#include <optional>
#include <string>

#include "image/image_info.h"
#include "image/image_source.h"

namespace comflash {

class BuiltInImageSource : public ImageSource {
public:
    std::optional<std::string> Read(std::string_view name, std::string_view type,
                                    std::size_t limit) const override;
};

// The name of the firmware file the built-in text was made from (its file
// name, without the build machine's folders).
std::string BuiltInFirmwareName();

// The built-in image's firmware, length, CRC-16 and SHA-256; none when its
// text does not load.
std::optional<ImageInfo> BuiltInImageInfo();

}  // namespace comflash
