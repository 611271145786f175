#include "image/image_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "image/enhex.h"
#include "image/image_text_format.h"
#include "test_support.h"

namespace comflash {
namespace {

using testing::RandomImage;

const std::vector<std::uint8_t>& SampleImage() {
    static const std::vector<std::uint8_t> image = RandomImage(3000, 7);
    return image;
}

const std::string& SampleText() {
    static const std::string text = EncodeImageText(SampleImage(), kImageTextKey);
    return text;
}

class LoaderTest : public ::testing::Test {
protected:
    ImageLoadResult Load(std::string resource) {
        return LoadEmbeddedImage(MemoryImageSource(std::move(resource)), *image_);
    }

    std::vector<std::uint8_t> Loaded() const {
        return {image_->Data.begin(), image_->Data.begin() + image_->Length};
    }

    bool ZeroFrom(std::size_t index) const {
        return std::all_of(image_->Data.begin() + static_cast<std::ptrdiff_t>(index),
                           image_->Data.end(), [](std::uint8_t b) { return b == 0; });
    }

    void ExpectEmpty() const {
        EXPECT_EQ(image_->Length, 0);
        EXPECT_TRUE(ZeroFrom(0));
    }

    std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
};

TEST_F(LoaderTest, LoadsTheImageWithoutItsCrc) {
    EXPECT_EQ(Load(SampleText()), ImageLoadResult::Loaded);
    EXPECT_EQ(Loaded(), SampleImage());
    EXPECT_TRUE(ZeroFrom(image_->Length));
}

TEST_F(LoaderTest, LoadsTheLongestImage) {
    const std::vector<std::uint8_t> longest = RandomImage(kMaxImageLength, 3);
    EXPECT_EQ(Load(EncodeImageText(longest, kImageTextKey)), ImageLoadResult::Loaded);
    EXPECT_EQ(Loaded(), longest);
}

TEST_F(LoaderTest, ShorterImageAfterALongerOneLeavesZerosBehindIt) {
    Load(EncodeImageText(RandomImage(9000, 1), kImageTextKey));
    Load(SampleText());
    EXPECT_EQ(Loaded(), SampleImage());
    EXPECT_TRUE(ZeroFrom(image_->Length));
}

// ---- bytes outside 0x20..0x7F

std::string Interleave(std::string_view text, std::string_view noise, std::size_t every) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % every == 0)
            out += noise;
        out += text[i];
    }
    return out + std::string(noise);
}

struct NoiseRow {
    const char* name;
    friend void PrintTo(const NoiseRow& row, std::ostream* os) { *os << row.name; }
    std::string noise;
    std::size_t every;  // odd spacings land inside digit pairs
};

class LoaderFilterTest : public LoaderTest, public ::testing::WithParamInterface<NoiseRow> {};

TEST_P(LoaderFilterTest, DroppedBytesDoNotCount) {
    EXPECT_EQ(Load(Interleave(SampleText(), GetParam().noise, GetParam().every)),
              ImageLoadResult::Loaded);
    EXPECT_EQ(Loaded(), SampleImage());
}

INSTANTIATE_TEST_SUITE_P(Noise, LoaderFilterTest,
                         ::testing::Values(NoiseRow{"lf_lines_of_64", "\n", 64},
                                           NoiseRow{"crlf_lines_of_76", "\r\n", 76},
                                           NoiseRow{"crlf_inside_every_pair", "\r\n", 1},
                                           NoiseRow{"tab_nul_and_high_bytes",
                                                    std::string("\t\0\x80\xFF", 4), 7}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CountedRow {
    const char* name;
    friend void PrintTo(const CountedRow& row, std::ostream* os) { *os << row.name; }
    char replacement;
    ImageLoadResult expected;
};

class LoaderCountedCharacterTest : public LoaderTest,
                                   public ::testing::WithParamInterface<CountedRow> {};

// A '0' of the text replaced by a space or 0x7F still counts as a digit of
// value 0; replaced by a byte that is dropped it shortens the text.
TEST_P(LoaderCountedCharacterTest, ReplacesADigitZero) {
    std::string text = SampleText();
    const std::size_t zero = text.find('0', 2000);
    ASSERT_NE(zero, std::string::npos);
    text[zero] = GetParam().replacement;
    EXPECT_EQ(Load(text), GetParam().expected);
    if (GetParam().expected == ImageLoadResult::Loaded) {
        EXPECT_EQ(Loaded(), SampleImage());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Characters, LoaderCountedCharacterTest,
    ::testing::Values(CountedRow{"space_counts", ' ', ImageLoadResult::Loaded},
                      CountedRow{"del_counts", '\x7F', ImageLoadResult::Loaded},
                      CountedRow{"tab_is_dropped", '\t', ImageLoadResult::NotAnImage},
                      CountedRow{"byte_1F_is_dropped", '\x1F', ImageLoadResult::NotAnImage}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoaderTest, SpaceInsertedShiftsThePairing) {
    std::string text = SampleText();
    text.insert(100, " ");
    EXPECT_EQ(Load(text), ImageLoadResult::NotAnImage);
    ExpectEmpty();
}

// ---- the read limit

struct LimitRow {
    const char* name;
    friend void PrintTo(const LimitRow& row, std::ostream* os) { *os << row.name; }
    std::size_t lastCharacterAt;  // byte count of the resource up to the text's end
    std::string after;
    ImageLoadResult expected;
};

class LoaderReadLimitTest : public LoaderTest, public ::testing::WithParamInterface<LimitRow> {};

TEST_P(LoaderReadLimitTest, ReadsOnlyTheFirstBytes) {
    const std::string& text = SampleText();
    std::string resource(GetParam().lastCharacterAt - text.size(), '\n');
    resource += text;
    resource += GetParam().after;
    EXPECT_EQ(Load(resource), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Limit, LoaderReadLimitTest,
    ::testing::Values(LimitRow{"ends_at_the_limit", kImageTextReadLimit, "",
                               ImageLoadResult::Loaded},
                      LimitRow{"digits_past_the_limit_ignored", kImageTextReadLimit, "00FF",
                               ImageLoadResult::Loaded},
                      LimitRow{"last_digit_past_the_limit", kImageTextReadLimit + 1, "",
                               ImageLoadResult::NotAnImage}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- resources with no image

TEST_F(LoaderTest, ResourceWithoutAnImageLeavesItEmpty) {
    for (const std::string& resource : {std::string(), std::string("\r\n\t\x80\xFF"),
                                        std::string("\0\0\0\0", 4), std::string(4000, ' ')}) {
        Load(SampleText());
        EXPECT_EQ(Load(resource), ImageLoadResult::NotAnImage);
        ExpectEmpty();
    }
}

TEST_F(LoaderTest, TooLongImageIsNoImage) {
    // A valid text of one byte more than an image may hold; storing it would
    // wrap beyond the 16-bit offsets of the block transfer.
    std::vector<std::uint8_t> decoded = RandomImage(kMaxImageLength + 1, 9);
    const std::uint16_t crc = ImageTextCrc(decoded);
    decoded.push_back(static_cast<std::uint8_t>(crc >> 8));
    decoded.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    const std::string text = ScrambleText(BytesToHexPairs(decoded), kImageTextKey);
    ASSERT_EQ(DecodeImageText(text, kImageTextKey), decoded);

    Load(SampleText());
    EXPECT_EQ(Load(text), ImageLoadResult::TooLong);
    ExpectEmpty();
}

// ---- where the text comes from

TEST_F(LoaderTest, MissingResourceThrowsWithItsNameAndLeavesNoImage) {
    Load(SampleText());
    try {
        LoadEmbeddedImage(MemoryImageSource("OTHER", "MYTEXT", SampleText()), *image_);
        FAIL() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource RESLABEL not found");
    }
    ExpectEmpty();
}

TEST_F(LoaderTest, ResourceNameAndTypeMatchWithoutCase) {
    EXPECT_EQ(LoadEmbeddedImage(MemoryImageSource("ResLabel", "mytext", SampleText()), *image_),
              ImageLoadResult::Loaded);
    EXPECT_THROW(LoadEmbeddedImage(MemoryImageSource("RESLABEL", "TEXT", SampleText()), *image_),
                 EResNotFound);
}

TEST_F(LoaderTest, SourceReturningMoreThanTheLimitIsCutToIt) {
    class GenerousSource : public ImageSource {
    public:
        std::optional<std::string> Read(std::string_view, std::string_view,
                                        std::size_t limit) const override {
            return std::string(limit - SampleText().size(), '\n') + SampleText() + "0";
        }
    };
    EXPECT_EQ(LoadEmbeddedImage(GenerousSource(), *image_), ImageLoadResult::Loaded);
}

TEST(FileImageSource, ReadsTheFileUpToTheLimit) {
    testing::TempDir dir;
    testing::WriteWholeFile(dir / "image.txt", "0123456789");
    const FileImageSource source(dir / "image.txt");
    EXPECT_EQ(source.Read("RESLABEL", "MYTEXT", 100), "0123456789");
    EXPECT_EQ(source.Read("RESLABEL", "MYTEXT", 4), "0123");
}

TEST(FileImageSource, FileThatCannotBeReadIsAnErrorNamingIt) {
    testing::TempDir dir;
    for (const auto& path : {dir / "missing.txt", dir.path()}) {
        try {
            FileImageSource(path).Read("RESLABEL", "MYTEXT", 100);
            FAIL() << "no error for " << path;
        } catch (const ImageSourceError& e) {
            EXPECT_NE(std::string(e.what()).find("'" + path.string() + "'"), std::string::npos)
                << e.what();
        }
    }
}

TEST_F(LoaderTest, LoadsFromATextFile) {
    testing::TempDir dir;
    testing::WriteWholeFile(dir / "image.txt", Interleave(SampleText(), "\n", 64));
    EXPECT_EQ(LoadEmbeddedImage(FileImageSource(dir / "image.txt"), *image_),
              ImageLoadResult::Loaded);
    EXPECT_EQ(Loaded(), SampleImage());
}

}  // namespace
}  // namespace comflash
