// The controller fed the device's frames as the bytes on the wire, written out
// here rather than built by the tool's own frame encoder: a fault that the
// encoder and the receive path share (a byte order, a check, a marker) would
// otherwise build and accept the same wrong frames. The check bytes come from
// Python's binascii.crc_hqx(frame, 0xFFFF), which shares nothing with the tool.
#include <gtest/gtest.h>

#include "session_fixture.h"

namespace comflash::testing {
namespace {

// Hello of a device of protocol version 3: marker 0x99, digit '3'.
const Bytes kHelloVersion3 = {0xAB, 0xAB, 0x00, 0x03, 0xAA, 0x99, 0x33, 0x18, 0xA6};
// The EEPROM init carried out: status 1.
const Bytes kEepromInitDone = {0xAB, 0xAB, 0x00, 0x02, 0x94, 0x01, 0x40, 0x6F};
// A block refused: status 0.
const Bytes kBlockRefused = {0xAB, 0xAB, 0x00, 0x02, 0x91, 0x00, 0xAF, 0xBB};

class LiteralFrames : public SessionTest {};

TEST_F(LiteralFrames, HelloAcknowledgementAndRefusalAsTheDeviceSendsThem) {
    Feed(kHelloVersion3);
    ASSERT_EQ(host.sent.size(), 1u) << "the hello is answered";
    EXPECT_EQ(host.sent[0][4], 0x99) << "with the handshake reply";
    EXPECT_EQ(host.sentAtRate[0], 9600u);
    Tick2(kHelloDelayTicks);
    ASSERT_EQ(session.State(), UpdateState::AwaitIdentity);
    Feed(IdentityReply());
    ASSERT_EQ(session.State(), UpdateState::AwaitEepromInit);

    Feed(kEepromInitDone);
    ASSERT_EQ(session.State(), UpdateState::WritingBlocks);
    const Bytes& firstBlock = host.sent.back();
    EXPECT_EQ(firstBlock[4], 0x91) << "the acknowledgement brings the first block";
    EXPECT_EQ(firstBlock[5] << 8 | firstBlock[6], 0) << "at offset 0";
    const std::size_t sentBefore = host.sent.size();

    Feed(kBlockRefused);
    EXPECT_EQ(host.log.back(), "Write 0 Err!");
    EXPECT_EQ(host.shownErrors, 1);
    EXPECT_EQ(host.sent.size(), sentBefore) << "a refused block is not sent again";
}

}  // namespace
}  // namespace comflash::testing
