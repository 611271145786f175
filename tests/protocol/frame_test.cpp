#include "protocol/frame.h"

#include <gtest/gtest.h>

#include "frame_capture.h"

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::PutChunk;

const Bytes kBlockAck = {0xAB, 0xAB, 0x00, 0x02, 0x91, 0x01, 0xBF, 0x9A};

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct FindFrameCase {
    const char* name;
    Bytes chunk;
    std::uint16_t expected;
};

class FindFrameTable : public ::testing::TestWithParam<FindFrameCase> {};

TEST_P(FindFrameTable, FindsTheFirstCheckedFrame) {
    LinkState link;
    PutChunk(link, GetParam().chunk);
    EXPECT_EQ(FindFrame(link, 0), GetParam().expected);
}

Bytes WithBadCheck(Bytes frame) {
    if (!frame.empty())
        frame.back() ^= 0x01;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, FindFrameTable,
    ::testing::Values(
        FindFrameCase{"whole_frame", kBlockAck, 4},
        FindFrameCase{"after_three_zero_bytes", Concat({0, 0, 0}, kBlockAck), 7},
        FindFrameCase{"five_bytes_starting_with_sync", {0xAB, 0xAB, 0x00, 0x02, 0x91}, 0},
        FindFrameCase{"no_sync_pair", {1, 2, 3, 4, 5, 6, 7, 8}, 0},
        FindFrameCase{"two_frames_first_found", Concat(kBlockAck, EncodeFrame(0x93, Bytes{1, 2})),
                      4},
        FindFrameCase{"bad_first_frame_hides_good_one", Concat(WithBadCheck(kBlockAck), kBlockAck),
                      0},
        FindFrameCase{"stray_sync_byte_ahead", Concat({0xAB}, kBlockAck), 0},
        FindFrameCase{"truncated_frame", Bytes(kBlockAck.begin(), kBlockAck.end() - 1), 0},
        FindFrameCase{"length_field_beyond_chunk", {0xAB, 0xAB, 0xFF, 0xF0, 0x91, 0x01, 0, 0}, 0},
        FindFrameCase{"sync_pair_in_last_four_bytes", {1, 2, 3, 4, 5, 0xAB, 0xAB, 0x00, 0x02}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Whether a chunk gathered so far may end now: true only for a checked frame
// at the first sync pair that ends with the chunk's last byte.
struct WholeChunkCase {
    const char* name;
    Bytes bytes;
    bool whole;
};

class EndsWithCheckedFrameTable : public ::testing::TestWithParam<WholeChunkCase> {};

TEST_P(EndsWithCheckedFrameTable, AnswersAsFindFrameLooks) {
    EXPECT_EQ(EndsWithCheckedFrame(GetParam().bytes), GetParam().whole);
}

const Bytes kLongerFrame = EncodeFrame(0x93, Bytes(40, 0x5A));

INSTANTIATE_TEST_SUITE_P(
    Chunks, EndsWithCheckedFrameTable,
    ::testing::Values(
        WholeChunkCase{"whole_frame", kBlockAck, true},
        WholeChunkCase{"longer_whole_frame", kLongerFrame, true},
        WholeChunkCase{"frame_with_failed_check", WithBadCheck(kBlockAck), false},
        WholeChunkCase{"noise_before_a_frame", Concat({0x12, 0x00, 0x7F}, kBlockAck), true},
        WholeChunkCase{"two_frames", Concat(kBlockAck, kBlockAck), false},
        WholeChunkCase{"frame_and_a_stray_byte", Concat(kBlockAck, {0x00}), false},
        WholeChunkCase{"partial_frame", Bytes(kBlockAck.begin(), kBlockAck.end() - 1), false},
        WholeChunkCase{"sync_pair_only", {0xAB, 0xAB}, false}, WholeChunkCase{"nothing", {}, false},
        WholeChunkCase{"first_pair_noise_then_good_frame", Concat({0xAB, 0xAB, 0x00}, kBlockAck),
                       false},
        WholeChunkCase{"first_pair_a_bad_frame_then_good_frame",
                       Concat(WithBadCheck(kBlockAck), kBlockAck), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindFrame, RecordsTheLengthFieldEvenWhenTheCheckFails) {
    LinkState link;
    PutChunk(link, WithBadCheck(kBlockAck));
    EXPECT_EQ(FindFrame(link, 0), 0);
    EXPECT_EQ(link.LastFrameLength, 2);

    PutChunk(link, {0, 1, 2, 3, 4, 5, 6});  // no sync pair: keeps the earlier value
    EXPECT_EQ(FindFrame(link, 0), 0);
    EXPECT_EQ(link.LastFrameLength, 2);
}

TEST(FindFrame, NeverReadsBytesLeftOverBeyondTheChunk) {
    LinkState link;
    PutChunk(link, kBlockAck);
    // A shorter chunk follows; the old check bytes still stand in the area.
    link.ReceiveCount = 7;
    EXPECT_EQ(FindFrame(link, 0), 0);
}

TEST(FindFrame, StartPositionSkipsEarlierBytes) {
    LinkState link;
    PutChunk(link, Concat(kBlockAck, kBlockAck));
    EXPECT_EQ(FindFrame(link, 1), 12);
    EXPECT_EQ(FindFrame(link, 12), 0);  // beyond N - 5
}

TEST(CloseAndSendFrame, AppendsTheCheckHighByteFirst) {
    LinkState link;
    testing::FrameCapture capture;
    capture.Attach(link);
    const Bytes head = {0xAB, 0xAB, 0x00, 0x02, 0x91, 0x01};
    std::copy(head.begin(), head.end(), link.FrameBuffer.begin());
    CloseAndSendFrame(link, 2);
    ASSERT_EQ(capture.frames.size(), 1u);
    EXPECT_EQ(capture.Last(), kBlockAck);
}

TEST(EncodeFrame, BuildsTheSameBytesAsTheSenders) {
    EXPECT_EQ(EncodeFrame(0x91, Bytes{0x01}), kBlockAck);
}

}  // namespace
}  // namespace comflash
