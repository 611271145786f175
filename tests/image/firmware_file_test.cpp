#include "image/firmware_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/firmware_image.h"
#include "test_support.h"

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- refused HEX texts: every message names the line

struct HexErrorRow {
    const char* name;
    friend void PrintTo(const HexErrorRow& row, std::ostream* os) { *os << row.name; }
    const char* text;
    const char* message;
};

class IntelHexErrorTest : public ::testing::TestWithParam<HexErrorRow> {};

TEST_P(IntelHexErrorTest, IsRefusedWithTheLine) {
    try {
        ParseIntelHex(GetParam().text);
        FAIL() << "accepted";
    } catch (const FirmwareFileError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, IntelHexErrorTest,
    ::testing::Values(
        HexErrorRow{"checksum", ":0100000055AA\n:0100010066FF\n:00000001FF\n",
                    "line 2: checksum mismatch (expected 0x98, found 0xFF)"},
        HexErrorRow{"no_start_code", ":0100000055AA\n0100010066FF\n:00000001FF\n",
                    "line 2: a record starts with ':', not '0'"},
        HexErrorRow{"not_a_hex_digit", ":0100000055AA\n  :01000100G698\n:00000001FF\n",
                    "line 2: 'G' at column 12 is not a hex digit"},
        HexErrorRow{"odd_digit_count", ":0100000055AA\n:0100010066980\n:00000001FF\n",
                    "line 2: odd number of hex digits"},
        HexErrorRow{"too_short", ":00000001\n", "line 1: record too short"},
        HexErrorRow{"count_longer_than_line", ":02000000551B\n:00000001FF\n",
                    "line 1: byte count 0x02 announces 2 data bytes, the record holds 1"},
        HexErrorRow{"count_shorter_than_line", ":00000000551B\n:00000001FF\n",
                    "line 1: byte count 0x00 announces 0 data bytes, the record holds 1"},
        HexErrorRow{"unknown_type", ":0100000655A4\n:00000001FF\n",
                    "line 1: unknown record type 0x06"},
        HexErrorRow{"eof_with_data", ":0100000155A9\n",
                    "line 1: end-of-file record must hold 0 bytes, not 1"},
        HexErrorRow{"linear_address_size", ":0100000401FA\n:00000001FF\n",
                    "line 1: extended linear address record must hold 2 bytes, not 1"},
        HexErrorRow{"no_eof", ":0100000055AA\n\n", "line 2: no end-of-file record (type 01)"},
        HexErrorRow{"empty_text", "", "line 1: no end-of-file record (type 01)"},
        HexErrorRow{"record_after_eof", ":00000001FF\n\n:0100000055AA\n",
                    "line 3: record after the end-of-file record on line 1"},
        HexErrorRow{"overlap", ":020010001122BB\n:01002000558A\n:0100110033BB\n:00000001FF\n",
                    "line 3: data at 0x0011 overlaps data written on line 1"},
        HexErrorRow{"same_address_twice", ":0100000055AA\n:0100000055AA\n:00000001FF\n",
                    "line 2: data at 0x0000 overlaps data written on line 1"},
        HexErrorRow{"span_too_large",
                    ":0100000055AA\n:020000040001F9\n:010000006699\n:00000001FF\n",
                    "line 3: data at 0x10000 would make the image span 65537 bytes (0x0000 "
                    "to 0x10000), more than the 65280 bytes an image may hold"},
        HexErrorRow{"hostile_span_before_any_allocation",
                    ":020000040000FA\n:0100000055AA\n:02000004FFFFFC\n:01FFFF00669B\n:00000001FF\n",
                    "line 4: data at 0xFFFFFFFF would make the image span 4294967296 bytes "
                    "(0x0000 to 0xFFFFFFFF), more than the 65280 bytes an image may hold"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- accepted HEX texts

struct HexImageRow {
    const char* name;
    friend void PrintTo(const HexImageRow& row, std::ostream* os) { *os << row.name; }
    const char* text;
    Bytes image;
};

class IntelHexImageTest : public ::testing::TestWithParam<HexImageRow> {};

TEST_P(IntelHexImageTest, GivesTheImage) {
    EXPECT_EQ(ParseIntelHex(GetParam().text), GetParam().image);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntelHexImageTest,
    ::testing::Values(
        HexImageRow{"gap_filled_with_FF",
                    ":020000001122CB\n:02000400334483\n:00000001FF\n",
                    {0x11, 0x22, 0xFF, 0xFF, 0x33, 0x44}},
        HexImageRow{"records_in_any_order",
                    ":02000400334483\n:020000001122CB\n:00000001FF\n",
                    {0x11, 0x22, 0xFF, 0xFF, 0x33, 0x44}},
        HexImageRow{"starts_at_the_lowest_address",
                    ":020000040800F2\n:02100000AABB89\n:00000001FF\n",
                    {0xAA, 0xBB}},
        HexImageRow{"extended_segment_address",
                    ":02100000AABB89\n:020000020100FB\n:02000200CCDD53\n:00000001FF\n",
                    {0xAA, 0xBB, 0xCC, 0xDD}},
        HexImageRow{"start_addresses_ignored",
                    ":0400000300001000E9\n:0400000508000000EF\n:01000000AA55\n:00000001FF\n",
                    {0xAA}},
        HexImageRow{"lowercase_crlf_and_blank_lines",
                    "\r\n:02000000aabb99\r\n\r\n  :00000001ff  \r\n\r\n",
                    {0xAA, 0xBB}},
        HexImageRow{"empty_data_records", ":00001000F0\n:00000001FF\n", {}},
        HexImageRow{"no_data", ":00000001FF", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IntelHex, SpanOfTheLongestImageIsAccepted) {
    const std::string text = ":0100000055AA\n:01FEFF00669C\n:00000001FF\n";
    const Bytes image = ParseIntelHex(text);
    ASSERT_EQ(image.size(), kMaxImageLength);
    EXPECT_EQ(image.front(), 0x55);
    EXPECT_EQ(image[1], 0xFF);
    EXPECT_EQ(image.back(), 0x66);
}

// ---- files

class FirmwareFileTest : public ::testing::Test {
protected:
    std::filesystem::path Write(std::string_view name, std::string_view content) {
        testing::WriteWholeFile(dir_ / name, content);
        return dir_ / name;
    }

    static std::string ErrorOf(const std::filesystem::path& path) {
        try {
            ReadFirmwareFile(path);
        } catch (const FirmwareFileError& e) {
            return e.what();
        }
        return "no error";
    }

    testing::TempDir dir_;
};

constexpr std::string_view kHex = ":02000000AABB99\n:00000001FF\n";

TEST_F(FirmwareFileTest, KnowsHexByNameOrContent) {
    EXPECT_EQ(ReadFirmwareFile(Write("fw.hex", kHex)), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(ReadFirmwareFile(Write("FW.IHX", kHex)), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(ReadFirmwareFile(Write("firmware", kHex)), (Bytes{0xAA, 0xBB}));
}

TEST_F(FirmwareFileTest, ReadsRawBinaryAsItIs) {
    const std::string raw("\x3A\x00\x20\xFF\n", 5);  // starts with ':' but holds a NUL
    EXPECT_EQ(ReadFirmwareFile(Write("fw.bin", raw)), Bytes(raw.begin(), raw.end()));
    const std::string longest(kMaxImageLength, '\x5A');
    EXPECT_EQ(ReadFirmwareFile(Write("longest.bin", longest)).size(), kMaxImageLength);
}

TEST_F(FirmwareFileTest, ErrorsNameTheFile) {
    const auto tooLong = Write("big.bin", std::string(kMaxImageLength + 1, '\0'));
    EXPECT_EQ(
        ErrorOf(tooLong),
        tooLong.string() + ": holds 65281 bytes, more than the 65280 bytes an image may hold");

    const auto badHex = Write("bad.hex", ":0100000055AB\n:00000001FF\n");
    EXPECT_EQ(ErrorOf(badHex),
              badHex.string() + ": line 1: checksum mismatch (expected 0xAA, found 0xAB)");

    EXPECT_EQ(ErrorOf(dir_ / "missing.hex"), "cannot read firmware file '" +
                                                 (dir_ / "missing.hex").string() +
                                                 "': No such file or directory");
}

TEST_F(FirmwareFileTest, FileLargerThanAnyFirmwareIsRefused) {
    const auto huge = dir_ / "huge.bin";
    { std::ofstream(huge, std::ios::binary).put('x'); }
    std::filesystem::resize_file(huge, 4 * kMaxFirmwareFileSize);
    EXPECT_EQ(ErrorOf(huge), huge.string() + ": larger than 16 MiB, too large for a firmware file");
}

}  // namespace
}  // namespace comflash
