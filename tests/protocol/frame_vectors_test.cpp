// Frames pinned to fixed bytes from both ends of the line: the tool's frame
// encoder and the simulated device's own (tools/sim/device_link) must build
// exactly these, and each side's check must accept them and refuse them with
// one bit changed. The bytes were worked out apart from both, with Python's
// binascii.crc_hqx(frame, 0xFFFF) for the check, so a fault that one side
// shares with the other cannot pass by agreement.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "tools/sim/device_link.h"

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FrameVector {
    const char* name;
    std::uint8_t command;
    Bytes payload;
    const char* frame;  // sync pair to check, in hex
};

void PrintTo(const FrameVector& row, std::ostream* out) {
    *out << row.name;
}

Bytes HexBytes(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

class FrameVectors : public ::testing::TestWithParam<FrameVector> {};

TEST_P(FrameVectors, BothEndsBuildThemAndCheckThem) {
    const FrameVector& row = GetParam();
    const Bytes expected = HexBytes(row.frame);
    EXPECT_EQ(EncodeFrame(row.command, row.payload), expected) << "the tool's encoder";
    EXPECT_EQ(sim::link::EncodeFrame(row.command, row.payload), expected) << "the device's";

    EXPECT_TRUE(EndsWithCheckedFrame(expected)) << "the tool's check";
    EXPECT_TRUE(sim::link::CheckHolds(expected)) << "the device's check";
    Bytes damaged = expected;
    damaged[damaged.size() / 2] ^= 0x10;
    EXPECT_FALSE(EndsWithCheckedFrame(damaged));
    EXPECT_FALSE(sim::link::CheckHolds(damaged));
}

INSTANTIATE_TEST_SUITE_P(
    Link, FrameVectors,
    ::testing::Values(
        FrameVector{"HelloOfVersion3", 0xAA, {0x99, '3'}, "ABAB0003AA993318A6"},
        FrameVector{"HandshakeReply", 0x99, {0x61, 0x6E}, "ABAB000399616E9563"},
        FrameVector{"IdentityRequest", 0x95, {0x01, 0xE0, 0x02, 0x60}, "ABAB00059501E00260CE5C"},
        FrameVector{"EepromWriteDone", 0x94, {0x01}, "ABAB00029401406F"},
        FrameVector{"BlockRefused", 0x91, {0x00}, "ABAB00029100AFBB"},
        FrameVector{"ChecksumRequest", 0x93, {0x00, 0x00, 0x04, 0x00}, "ABAB00059300000400135C"},
        FrameVector{"ChecksumReply", 0x93, {0x12, 0x34}, "ABAB0003931234F417"},
        FrameVector{"Finish", 0x9A, {0xAA}, "ABAB00029AAA67E1"}),
    [](const auto& info) { return std::string(info.param.name); });

// The catalogue's check value of CRC-16/CCITT-FALSE, from both sides.
TEST(FrameVectors, BothChecksGiveTheCatalogueValue) {
    constexpr std::string_view text = "123456789";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(Crc16Ccitt(bytes), 0x29B1);
    EXPECT_EQ(sim::link::Crc(bytes), 0x29B1);
}

}  // namespace
}  // namespace comflash
