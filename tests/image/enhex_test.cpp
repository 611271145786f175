#include "image/enhex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/image_text_format.h"
#include "protocol/firmware_image.h"
#include "test_support.h"
#include "tests/support/test_paths.h"

namespace comflash {
namespace {

using testing::RandomImage;

std::string WithoutLineBreaks(std::string text) {
    std::erase(text, '\n');
    return text;
}

// ---- hex digits and pairs

struct DigitRow {
    const char* name;
    friend void PrintTo(const DigitRow& row, std::ostream* os) { *os << row.name; }
    char c;
    std::uint8_t value;
};

class HexDigitValueTest : public ::testing::TestWithParam<DigitRow> {};

TEST_P(HexDigitValueTest, GivesTheValue) {
    EXPECT_EQ(HexDigitValue(GetParam().c), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Digits, HexDigitValueTest,
    ::testing::Values(DigitRow{"zero", '0', 0}, DigitRow{"nine", '9', 9},
                      DigitRow{"upper_A", 'A', 10}, DigitRow{"upper_F", 'F', 15},
                      DigitRow{"lower_a_is_zero", 'a', 0}, DigitRow{"lower_f_is_zero", 'f', 0},
                      DigitRow{"G_is_zero", 'G', 0}, DigitRow{"space_is_zero", ' ', 0},
                      DigitRow{"colon_is_zero", ':', 0}, DigitRow{"high_byte_is_zero", '\xB0', 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexPairsToBytes, OnePerPairWithOddLastCharacterIgnored) {
    EXPECT_EQ(HexPairsToBytes("00FF7a1"), (std::vector<std::uint8_t>{0x00, 0xFF, 0x70}));
    EXPECT_TRUE(HexPairsToBytes("F").empty());
}

TEST(BytesToHexPairs, WritesUppercaseAndInvertsHexPairsToBytes) {
    std::vector<std::uint8_t> all(256);
    for (unsigned i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::string text = BytesToHexPairs(all);
    EXPECT_EQ(text.substr(0, 6), "000102");
    EXPECT_EQ(text.substr(text.size() - 4), "FEFF");
    EXPECT_EQ(HexPairsToBytes(text), all);
}

// ---- the three zones of UnscrambleText
//
// Text of 822 enciphered bytes 0x80 under the loader's key: L = 1644 gives the
// key-stream state 0x38E9. Expected values come from an independent
// implementation of the rules.

std::string TextOf(const std::vector<std::uint8_t>& enciphered) {
    return BytesToHexPairs(enciphered);
}

struct ZoneRow {
    const char* name;
    friend void PrintTo(const ZoneRow& row, std::ostream* os) { *os << row.name; }
    std::size_t position;  // from 1
    std::uint8_t expected;
};

class UnscrambleZoneTest : public ::testing::TestWithParam<ZoneRow> {};

TEST_P(UnscrambleZoneTest, DeciphersThePosition) {
    const std::string inner =
        UnscrambleText(TextOf(std::vector<std::uint8_t>(822, 0x80)), kImageTextKey);
    ASSERT_EQ(inner.size(), 822u);
    EXPECT_EQ(static_cast<std::uint8_t>(inner[GetParam().position - 1]), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, UnscrambleZoneTest,
    ::testing::Values(
        ZoneRow{"first_is_odd_minus_3C", 1, 0x44}, ZoneRow{"second_is_even_plus_2B", 2, 0xAB},
        ZoneRow{"p515_odd_minus_3C", 515, 0x44}, ZoneRow{"p516_even_plus_2B", 516, 0xAB},
        ZoneRow{"p517_complemented", 517, 0x7F}, ZoneRow{"p819_last_complemented", 819, 0x7F},
        ZoneRow{"p820_first_key_stream", 820, 0x80 ^ 0x38},
        ZoneRow{"p821_state_mixed_with_enciphered_byte", 821, 0x70}, ZoneRow{"p822", 822, 0xBE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnscrambleText, ByteEqualToTheMaskPassesAndIsNotMixedIntoTheState) {
    std::vector<std::uint8_t> enciphered(822, 0x80);
    enciphered[819] = 0x38;  // position 820: the high byte of the state
    const std::string inner = UnscrambleText(TextOf(enciphered), kImageTextKey);
    EXPECT_EQ(static_cast<std::uint8_t>(inner[819]), 0x38);
    // Mixing 0x38 into the state would give 0x7C here.
    EXPECT_EQ(static_cast<std::uint8_t>(inner[820]), 0xBE);
}

TEST(UnscrambleText, StateIsSeededFromTheLowSixteenBitsOfTheLength) {
    // 65536 more outer characters leave the seed as it was.
    const std::string shortText(2000, '7');
    const std::string longText(2000 + 65536, '7');
    EXPECT_EQ(UnscrambleText(shortText, kImageTextKey),
              UnscrambleText(longText, kImageTextKey).substr(0, 1000));
}

TEST(ScrambleText, RefusesCharactersThatCannotComeBack) {
    EXPECT_THROW(ScrambleText("0A1b", kImageTextKey), std::invalid_argument);
    EXPECT_THROW(ScrambleText(std::string(900, '0') + '\0', kImageTextKey), std::invalid_argument);
}

// ---- a text made by an independent implementation of the encoder

std::vector<std::uint8_t> FixtureImage() {
    std::vector<std::uint8_t> image(2000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

std::string FixtureText() {
    return WithoutLineBreaks(testing::ReadWholeFile(
        std::filesystem::path(testing::TestPath("COMFLASH_IMAGE_FIXTURES")) / "image-2000.txt"));
}

TEST(ImageTextFixture, DecodesToItsImage) {
    const std::vector<std::uint8_t> decoded = DecodeImageText(FixtureText(), kImageTextKey);
    ASSERT_EQ(decoded.size(), 2002u);
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end() - 2, FixtureImage().begin()));
}

TEST(ImageTextFixture, IsWhatTheEncoderWrites) {
    // 17 of its key-stream characters pass through unmasked.
    EXPECT_EQ(EncodeImageText(FixtureImage(), kImageTextKey), FixtureText());
}

// ---- round trips

void ExpectRoundTrip(const std::vector<std::uint8_t>& image) {
    const std::string text = EncodeImageText(image, kImageTextKey);
    ASSERT_EQ(text.size(), 4 * (image.size() + kImageCrcSize));
    ASSERT_TRUE(std::ranges::all_of(
        text, [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }));
    std::vector<std::uint8_t> decoded = DecodeImageText(text, kImageTextKey);
    ASSERT_EQ(decoded.size(), image.size() + kImageCrcSize) << "image of " << image.size();
    decoded.resize(image.size());
    ASSERT_EQ(decoded, image) << "image of " << image.size();
}

TEST(ImageTextRoundTrip, EverySizeUpToThePastTheZones) {
    // 408 bytes is the first image whose inner text reaches the key stream.
    for (std::size_t size = kMinImageLength; size <= 1200; ++size) {
        ExpectRoundTrip(RandomImage(size, static_cast<std::uint32_t>(size)));
    }
}

TEST(ImageTextRoundTrip, SizesUpToTheLongestImage) {
    for (std::size_t size = 1201; size < kMaxImageLength; size += 997) {
        ExpectRoundTrip(RandomImage(size, static_cast<std::uint32_t>(size)));
    }
    ExpectRoundTrip(RandomImage(kMaxImageLength - 1, 1));
    ExpectRoundTrip(RandomImage(kMaxImageLength, 2));
}

TEST(ImageTextRoundTrip, UniformImages) {
    for (std::uint8_t fill : {0x00, 0x38, 0xFF}) {
        ExpectRoundTrip(std::vector<std::uint8_t>(5000, fill));
    }
}

TEST(EncodeImageText, RefusesImagesTheLoaderWouldNotTake) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kMaxImageLength + 1}) {
        EXPECT_THROW(EncodeImageText(std::vector<std::uint8_t>(size), kImageTextKey),
                     ImageLengthError)
            << size;
    }
}

// ---- texts that decode to nothing

std::string TextOfDecoded(const std::vector<std::uint8_t>& decoded) {
    return ScrambleText(BytesToHexPairs(decoded), kImageTextKey);
}

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> image) {
    const std::uint16_t crc = ImageTextCrc(image);
    image.push_back(static_cast<std::uint8_t>(crc >> 8));
    image.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return image;
}

struct RejectRow {
    const char* name;
    friend void PrintTo(const RejectRow& row, std::ostream* os) { *os << row.name; }
    std::string (*make)();
};

class DecodeRejectsTest : public ::testing::TestWithParam<RejectRow> {};

TEST_P(DecodeRejectsTest, DecodesToNothing) {
    EXPECT_TRUE(DecodeImageText(GetParam().make(), kImageTextKey).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodeRejectsTest,
    ::testing::Values(
        RejectRow{"empty", [] { return std::string(); }},
        RejectRow{"one_digit_changed",
                  [] {
                      std::string t = FixtureText();
                      t[3001] = t[3001] == '0' ? '1' : '0';
                      return t;
                  }},
        RejectRow{"last_pair_dropped",
                  [] {
                      std::string t = FixtureText();
                      return t.substr(0, t.size() - 2);
                  }},
        RejectRow{"lowercase_digits",
                  [] {
                      std::string t = FixtureText();
                      std::ranges::transform(t, t.begin(), [](char c) {
                          return c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c;
                      });
                      return t;
                  }},
        RejectRow{"crc_bytes_swapped",
                  [] {
                      std::vector<std::uint8_t> d = WithCrc({0x12, 0x34, 0x56});
                      std::swap(d[3], d[4]);
                      return TextOfDecoded(d);
                  }},
        RejectRow{"three_bytes_with_matching_crc", [] { return TextOfDecoded(WithCrc({0x5A})); }},
        RejectRow{"wrong_key", [] { return EncodeImageText(FixtureImage(), kImageTextKey + 1); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeImageText, FourBytesWithMatchingCrcAreATwoByteImage) {
    const std::vector<std::uint8_t> decoded = WithCrc({0x00, 0x00});
    EXPECT_EQ(DecodeImageText(TextOfDecoded(decoded), kImageTextKey), decoded);
}

}  // namespace
}  // namespace comflash
