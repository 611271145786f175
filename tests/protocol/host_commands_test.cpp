#include "protocol/host_commands.h"

#include <gtest/gtest.h>

#include "frame_capture.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;

class HostCommands : public ::testing::Test {
protected:
    void SetUp() override { capture.Attach(link); }
    LinkState link;
    testing::FrameCapture capture;
};

TEST_F(HostCommands, FixedFramesAreByteExact) {
    SendIdentityRequest(link);
    EXPECT_EQ(capture.Last(), (Bytes{0xAB, 0xAB, 0x00, 0x05, 0x95, 0x01, 0xE0, 0x02, 0x60, 0xCE, 0x5C}));

    SendFinish(link);
    EXPECT_EQ(capture.Last(), (Bytes{0xAB, 0xAB, 0x00, 0x02, 0x9A, 0xAA, 0x67, 0xE1}));

    SendEepromInit(link);
    Bytes init = {0xAB, 0xAB, 0x00, 0x13, 0x94, 0x00, 0x00};
    init.insert(init.end(), 16, 0xFF);
    init.insert(init.end(), {0x65, 0xB2});
    EXPECT_EQ(capture.Last(), init);
}

TEST_F(HostCommands, ChecksumRequestCarriesChecksumCount) {
    link.ChecksumCount = 0x8000;
    SendChecksumRequest(link);
    EXPECT_EQ(capture.Last(), (Bytes{0xAB, 0xAB, 0x00, 0x05, 0x93, 0x00, 0x00, 0x80, 0x00, 0xC4, 0x00}));

    link.ChecksumCount = 0x0000;  // the last block began at 0xFF00
    SendChecksumRequest(link);
    EXPECT_EQ(capture.Last()[7], 0x00);
    EXPECT_EQ(capture.Last()[8], 0x00);
}

TEST_F(HostCommands, HandshakeKeyEvolvesFromDeviceToDevice) {
    std::uint8_t expected = 0;
    for (int reply = 1; reply <= 3; ++reply) {
        expected = static_cast<std::uint8_t>(((33 * expected + 0xC7) % 256) ^ 0xA9);
        SendHandshakeReply(link);
        Bytes frame = {0xAB, 0xAB, 0x00, 0x03, 0x99, 0x61, expected};
        const std::uint16_t crc = Crc16Ccitt(frame);
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        EXPECT_EQ(capture.Last(), frame) << "reply " << reply;
        EXPECT_EQ(link.HandshakeKeyByte, expected);
    }
    EXPECT_EQ(capture.frames[0][6], 0x6E);  // one step from 0
}

TEST_F(HostCommands, SerialRecordLayout) {
    SendSerialRecord(link, "3037810629");
    const Bytes& frame = capture.Last();
    ASSERT_EQ(frame.size(), 23u);
    EXPECT_EQ(frame[2], 0x00);
    EXPECT_EQ(frame[3], 0x11);
    EXPECT_EQ(frame[4], 0x94);
    EXPECT_EQ(frame[5], 0x03);
    EXPECT_EQ(frame[6], 0xED);
    EXPECT_EQ(std::string(frame.begin() + 7, frame.begin() + 21), "VTM3037810629#");
    LinkState check;
    testing::PutChunk(check, frame);
    EXPECT_EQ(FindFrame(check, 0), 4);
}

struct RecordTextCase {
    const char* name;
    std::string serial;
    std::string sent;
};

class RecordText : public ::testing::TestWithParam<RecordTextCase> {};

TEST_P(RecordText, CutsToSixteenCharacters) {
    EXPECT_EQ(RecordTextFor(GetParam().serial), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, RecordText,
    ::testing::Values(RecordTextCase{"fifteen_keeps_hash", "ABCDEFGHI123456", "ABCDEFGHI123456#"},
                      RecordTextCase{"sixteen_drops_hash", "ABCDEFGHIJ123456", "ABCDEFGHIJ123456"},
                      RecordTextCase{"twenty_cut", "ABCDEFGHIJKLMN123456", "ABCDEFGHIJKLMN12"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceReplies, KnownRepliesPassTheirCheck) {
    for (const Bytes& reply : {Bytes{0xAB, 0xAB, 0x00, 0x03, 0x93, 0x12, 0x34, 0xF4, 0x17},
                               Bytes{0xAB, 0xAB, 0x00, 0x03, 0xAA, 0x99, 0x31, 0x38, 0xE4},
                               Bytes{0xAB, 0xAB, 0x00, 0x03, 0xAA, 0x99, 0x30, 0x28, 0xC5}}) {
        LinkState link;
        testing::PutChunk(link, reply);
        EXPECT_EQ(FindFrame(link, 0), 4);
        EXPECT_EQ(link.LastFrameLength, 3);
    }
}

}  // namespace
}  // namespace comflash
