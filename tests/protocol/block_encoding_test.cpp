#include "protocol/block_encoding.h"

#include <gtest/gtest.h>

#include <random>

#include "frame_capture.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BlockEncoding : public ::testing::Test {
protected:
    void SetUp() override {
        capture.Attach(link);
        std::mt19937 random(7);
        for (std::size_t i = 0; i < 1000; ++i)
            image.Data[i] = static_cast<std::uint8_t>(random());
        image.Length = 1000;
    }
    Bytes SendAt(std::uint16_t offset, std::uint8_t version, std::uint8_t key) {
        link.BlockOffset = offset;
        link.ProtocolVersion = version;
        link.HandshakeKeyByte = key;
        SendBlock(link, image);
        return capture.Last();
    }
    Bytes Payload(const Bytes& frame) const { return Bytes(frame.begin() + 7, frame.end() - 2); }

    LinkState link;
    FirmwareImage image;
    testing::FrameCapture capture;
};

TEST_F(BlockEncoding, PlainBlockAtVersionZero) {
    const Bytes frame = SendAt(256, 0, 0x6E);
    ASSERT_EQ(frame.size(), 265u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 7),
              (Bytes{0xAB, 0xAB, 0x01, 0x03, 0x91, 0x01, 0x00}));
    EXPECT_EQ(Payload(frame), Bytes(image.Data.begin() + 256, image.Data.begin() + 512));
    LinkState check;
    testing::PutChunk(check, frame);
    EXPECT_EQ(FindFrame(check, 0), 4);
    EXPECT_EQ(link.ChecksumCount, 512);
}

TEST_F(BlockEncoding, LastBlockCarriesZerosPastTheImage) {
    const Bytes payload = Payload(SendAt(768, 0, 0));
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 232),
              Bytes(image.Data.begin() + 768, image.Data.begin() + 1000));
    EXPECT_EQ(Bytes(payload.begin() + 232, payload.end()), Bytes(24, 0));
    EXPECT_EQ(link.ChecksumCount, 1024);
}

TEST_F(BlockEncoding, ChecksumCountWrapsAtTheTopBlock) {
    SendAt(0xFF00, 3, 0x10);
    EXPECT_EQ(link.ChecksumCount, 0x0000);
    EXPECT_EQ(capture.Last().size(), 265u);
}

// The scrambling written out step by step, with the bit-by-bit CRC step.
Bytes ReferenceScramble(Bytes block, std::uint16_t o, std::uint8_t h, std::uint8_t v) {
    const std::uint16_t w = Crc16StepBitwise(41177, static_cast<std::uint8_t>(o >> 8));
    std::uint8_t k = static_cast<std::uint8_t>(0x60 ^ (w >> 8) ^ (w & 0xFF) ^ h);
    std::uint16_t q = Crc16StepBitwise(15922, static_cast<std::uint8_t>(o >> 8));
    q = Crc16StepBitwise(q, static_cast<std::uint8_t>(o & 0xFF));
    if (v > 1)
        q = Crc16StepBitwise(q, h);
    block[q & 0x00FF] ^= 0x96;
    for (auto& byte : block) {
        const std::uint8_t b = byte;
        const std::uint8_t x = k ^ b;
        byte = x;
        k = static_cast<std::uint8_t>((k + b) & 0xFF) ^ x;
    }
    return block;
}

TEST_F(BlockEncoding, ScrambledBlocksFollowTheStepsForEveryVersionAndKey) {
    for (std::uint8_t version : {1, 2, 3, 9}) {
        for (std::uint16_t offset : {0, 256, 512, 768}) {
            for (int key : {0x00, 0x6E, 0xFF}) {
                const Bytes plain(image.Data.begin() + offset, image.Data.begin() + offset + 256);
                const auto h = static_cast<std::uint8_t>(key);
                EXPECT_EQ(Payload(SendAt(offset, version, h)),
                          ReferenceScramble(plain, offset, h, version))
                    << "version " << int(version) << " offset " << offset << " key " << key;
            }
        }
    }
}

TEST_F(BlockEncoding, VersionsOneAndTwoShareTheKeyButNotThePosition) {
    const auto v1 = ScrambleStartFor(0x1200, 0x55, 1);
    const auto v2 = ScrambleStartFor(0x1200, 0x55, 2);
    EXPECT_EQ(v1.runningKey, v2.runningKey);
    EXPECT_NE(v1.position, v2.position);
    EXPECT_EQ(ScrambleStartFor(0x1200, 0x55, 2).position,
              ScrambleStartFor(0x1200, 0x55, 7).position);
}

TEST_F(BlockEncoding, SameInputsSameBytesNewKeyNewBytes) {
    const Bytes first = SendAt(0, 3, 0x21);
    EXPECT_EQ(SendAt(0, 3, 0x21), first);
    EXPECT_NE(SendAt(0, 3, 0x22), first);
}

TEST_F(BlockEncoding, ChangedImageByteChangesItsPositionAndLater) {
    const Bytes before = Payload(SendAt(0, 1, 0x40));
    image.Data[10] ^= 0x01;
    const Bytes after = Payload(SendAt(0, 1, 0x40));
    EXPECT_EQ(Bytes(before.begin(), before.begin() + 10), Bytes(after.begin(), after.begin() + 10));
    EXPECT_NE(before[10], after[10]);
}

TEST(ScrambleBlock, ZeroRunningKeyStaysZero) {
    // With k = 0 every byte b gives x = b and k = (0 + b) XOR b = 0.
    Bytes block = {0x12, 0x34, 0x56, 0x78};
    const Bytes plain = block;
    ScrambleBlock(block, {0, 200});  // position outside this short block
    EXPECT_EQ(block, plain);
}

}  // namespace
}  // namespace comflash
