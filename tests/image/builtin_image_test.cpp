// The image linked into the program is the firmware the build was given, as
// binutils reads the firmware file: nothing of the tool's own reading of it.
#include <gtest/gtest.h>

#include <memory>

#include "image/builtin_image_source.h"
#include "image/image_loader.h"
#include "tests/image/test_support.h"
#include "tests/support/test_paths.h"

namespace comflash {
namespace {

TEST(BuiltInImage, DecodesToTheBuildFirmware) {
    const std::string expected =
        testing::ReadWholeFile(testing::TestPath("COMFLASH_EXPECTED_IMAGE_PATH"));
    const std::vector<std::uint8_t> firmware(expected.begin(), expected.end());
    ASSERT_FALSE(firmware.empty());
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
