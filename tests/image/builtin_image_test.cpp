// The image linked into the program is the firmware the build was given.
#include <gtest/gtest.h>

#include <memory>

#include "image/builtin_image_source.h"
#include "image/firmware_file.h"
#include "image/image_loader.h"

namespace comflash {
namespace {

TEST(BuiltInImage, DecodesToTheBuildFirmware) {
    const std::vector<std::uint8_t> firmware = ReadFirmwareFile(COMFLASH_FIRMWARE_FILE);
    auto image = std::make_unique<FirmwareImage>();
    ASSERT_EQ(LoadEmbeddedImage(BuiltInImageSource(), *image), ImageLoadResult::Loaded);
    EXPECT_EQ(std::vector<std::uint8_t>(image->Data.begin(), image->Data.begin() + image->Length),
              firmware);
}

TEST(BuiltInImage, IsTheOnlyResource) {
    const BuiltInImageSource source;
    EXPECT_TRUE(source.Read("reslabel", "MyText", 10).has_value());
    EXPECT_EQ(source.Read("RESLABEL", "MYTEXT", 10)->size(), 10u);
    EXPECT_FALSE(source.Read("OTHER", "MYTEXT", 10).has_value());
    EXPECT_FALSE(source.Read("RESLABEL", "RCDATA", 10).has_value());
}

}  // namespace
}  // namespace comflash
