// What identifies the built-in image, for --version: the firmware file the
// build named, and the facts of the image as the loader reads it.
#include <memory>

#include "image/builtin_image_source.h"
#include "image/image_loader.h"

#ifndef COMFLASH_BUILTIN_FIRMWARE_NAME
#error "COMFLASH_BUILTIN_FIRMWARE_NAME must name the firmware file the image was made from"
#endif

namespace comflash {

std::string BuiltInFirmwareName() {
    return COMFLASH_BUILTIN_FIRMWARE_NAME;
}

std::optional<ImageInfo> BuiltInImageInfo() {
    auto image = std::make_unique<FirmwareImage>();
    if (LoadEmbeddedImage(BuiltInImageSource(), *image) != ImageLoadResult::Loaded)
        return std::nullopt;
    ImageInfo info = DescribeImage(*image);
    info.firmware = BuiltInFirmwareName();
    return info;
}

}  // namespace comflash
