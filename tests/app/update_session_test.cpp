#include "app/update_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "session_fixture.h"

namespace comflash::testing {
namespace {

using ::testing::ElementsAre;

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST_F(SessionTest, AutoUpdatesADeviceWithoutAnyBox) {
    Feed(Hello('3'));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.LastCommand(), command::kHandshake);
    EXPECT_EQ(host.sentAtRate.back(), 9600u);

    Tick2(2);
    EXPECT_EQ(host.sent.size(), 1u);
    Tick2();
    EXPECT_EQ(host.LastCommand(), command::kIdentity);
    EXPECT_EQ(host.sentAtRate.back(), 38400u);

    Feed(IdentityReply());
    EXPECT_EQ(host.LastCommand(), command::kWrite);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_TRUE(EndsWith(host.log[0], " Start..."));

    Feed(Status(command::kWrite, kStatusOk));
    std::vector<std::uint16_t> offsets;
    while (session.State() == UpdateState::WritingBlocks) {
        offsets.push_back(
            static_cast<std::uint16_t>(host.sent.back()[5] << 8 | host.sent.back()[6]));
        Feed(Status(command::kBlock, kStatusOk));
    }
    EXPECT_THAT(offsets, ElementsAre(0, 256, 512, 768));
    EXPECT_EQ(session.Link().BlockOffset, 1024);
    EXPECT_EQ(session.Link().ChecksumCount, 1024);
    EXPECT_EQ(session.ProgressDivisor(), 10);
    EXPECT_THAT(host.progress, ElementsAre(0, 0, 25, 51, 76, 100));
    EXPECT_EQ(host.LastCommand(), command::kChecksum);
    EXPECT_EQ(session.ReplyTimeout(), kChecksumTimeoutTicks);

    Feed(ChecksumReply(ImageChecksum(1024)));
    EXPECT_EQ(host.sent.back(), (Bytes{0xAB, 0xAB, 0x00, 0x02, 0x9A, 0xAA, 0x67, 0xE1}));
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_TRUE(EndsWith(host.log[1], " ...End"));
    EXPECT_EQ(session.OkCount(), 1);
    EXPECT_EQ(host.shownOk, 1);
    EXPECT_EQ(host.progress.back(), 0);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_THAT(host.results, ElementsAre(RunResult::Updated));

    Tick2(4);
    EXPECT_EQ(host.baudRate, 38400u);
    Tick2();  // 80 to 100 ms after the finish
    EXPECT_EQ(host.baudRate, 9600u);
}

TEST_F(SessionTest, ScrambledBlocksUseTheLatestHandshakeKey) {
    ReachBlocks('2');
    const Bytes& block = host.sent.back();
    EXPECT_EQ(session.Link().ProtocolVersion, 2);
    EXPECT_EQ(session.Link().HandshakeKeyByte, 0x6E);
    EXPECT_NE(Bytes(block.begin() + 7, block.begin() + 263),
              Bytes(image.Data.begin(), image.Data.begin() + 256));
}

struct HelloCase {
    const char* name;
    Bytes hello;
    bool l3;
    const char* logLine;  // empty: answered
    int errors;
};

class HelloVariants : public SessionTest, public ::testing::WithParamInterface<HelloCase> {};

TEST_P(HelloVariants, AnswerOrRefusal) {
    host.l3Checked = GetParam().l3;
    Feed(GetParam().hello);
    const std::string expected = GetParam().logLine;
    if (expected.empty()) {
        EXPECT_EQ(host.LastCommand(), command::kHandshake);
        EXPECT_TRUE(host.log.empty());
        EXPECT_EQ(session.HelloDelay(), kHelloDelayTicks);
    } else {
        EXPECT_TRUE(host.sent.empty());
        EXPECT_THAT(host.log, ElementsAre(expected));
        EXPECT_EQ(session.HelloDelay(), 0);
    }
    EXPECT_EQ(session.ErrorCount(), GetParam().errors);
    EXPECT_EQ(session.State(), UpdateState::Idle);
}

INSTANTIATE_TEST_SUITE_P(
    Hellos, HelloVariants,
    ::testing::Values(
        HelloCase{"version_3", Hello('3'), false, "", 0},
        HelloCase{"no_digit", EncodeFrame(command::kHello, Bytes{kHelloMarker}), false, "E0", 1},
        HelloCase{"digit_0", Hello('0'), false, "E0", 1},
        HelloCase{"letter", Hello('A'), false, "E0", 1},
        HelloCase{"longer_frame", EncodeFrame(command::kHello, Bytes{kHelloMarker, '3', '1'}),
                  false, "E0", 1},
        HelloCase{"version_2_with_l3", Hello('2'), true, "E03", 0},
        HelloCase{"version_2_without_l3", Hello('2'), false, "", 0},
        HelloCase{"version_3_with_l3", Hello('3'), true, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, AHelloWithAnotherMarkerIsIgnoredEntirely) {
    Feed(EncodeFrame(command::kHello, Bytes{0x98, '3'}));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(session.HelloDelay(), 0);
}

TEST_F(SessionTest, HelloWaitsUnansweredWhileTheFrontEndIsBusyElsewhere) {
    host.readyForDevice = false;
    Feed(Hello('3'));
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(session.HelloDelay(), 0);
    host.readyForDevice = true;
    Feed(Hello('3'));  // the device says it again
    EXPECT_EQ(host.LastCommand(), command::kHandshake);
}

TEST_F(SessionTest, TwoHellosGiveTwoRepliesAndOneIdentityRequest) {
    Feed(Hello('3'));
    Tick2();  // 20 ms later
    Feed(Hello('3'));
    Tick2(2);
    EXPECT_EQ(host.sent.size(), 2u);
    Tick2();  // 40 to 60 ms after the second hello
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[0][4], command::kHandshake);
    EXPECT_EQ(host.sent[1][4], command::kHandshake);
    EXPECT_NE(host.sent[0][6], host.sent[1][6]);  // the key byte evolved twice
    EXPECT_EQ(host.sent[2][4], command::kIdentity);
    Tick2(10);
    EXPECT_EQ(host.sent.size(), 3u);
}

TEST_F(SessionTest, RefusedBlockIsCountedAndTheRunEndsByTimeOut) {
    ReachBlocks();
    Feed(Status(command::kBlock, kStatusOk));
    Feed(Status(command::kBlock, kStatusOk));  // now at 512
    const std::size_t sentBefore = host.sent.size();
    Feed(Status(command::kBlock, 0));
    EXPECT_EQ(host.log.back(), "Write 512 Err!");
    EXPECT_EQ(session.ErrorCount(), 1);
    EXPECT_EQ(host.shownErrors, 1);
    EXPECT_EQ(host.sent.size(), sentBefore);
    EXPECT_EQ(session.State(), UpdateState::WritingBlocks);

    Tick1(9);  // the block went out 9 ticks ago: not yet
    EXPECT_TRUE(host.boxes.empty());
    Tick1();
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Command Overtimer!"});
    EXPECT_EQ(host.boxes[0].title, "Notice");
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(host.baudRate, 9600u);
    EXPECT_EQ(session.ErrorCount(), 1);  // a time-out is never counted
    EXPECT_THAT(host.results, ElementsAre(RunResult::BlockRefused));
}

TEST_F(SessionTest, RateReturnsToBaseOnlyAfterTheTimeOutBoxIsClosed) {
    ReachIdentity();
    host.whileBoxOpen = [this](const Box&) {
        EXPECT_EQ(session.State(), UpdateState::Idle);
        EXPECT_EQ(host.baudRate, 38400u);
    };
    Tick1(kReplyTimeoutTicks);
    EXPECT_EQ(host.baudRate, 9600u);
}

TEST_F(SessionTest, ADeviceThatSaysHelloWhileTheTimeOutBoxIsOpenKeepsItsRate) {
    ReachIdentity();
    host.whileBoxOpen = [this](const Box&) {
        Feed(Hello('3'));
        Tick2(kHelloDelayTicks);
        EXPECT_EQ(session.State(), UpdateState::AwaitIdentity);
    };
    Tick1(kReplyTimeoutTicks);
    EXPECT_EQ(session.State(), UpdateState::AwaitIdentity);
    EXPECT_EQ(host.baudRate, 38400u);
}

struct IgnoredReplyCase {
    const char* name;
    UpdateState state;
    Bytes reply;
};

class IgnoredReplies : public SessionTest,
                       public ::testing::WithParamInterface<IgnoredReplyCase> {};

TEST_P(IgnoredReplies, LeaveStateAndTimeOutAlone) {
    switch (GetParam().state) {
        case UpdateState::AwaitIdentity:
            ReachIdentity();
            break;
        case UpdateState::AwaitEepromInit:
            ReachIdentity();
            Feed(IdentityReply());
            break;
        case UpdateState::WritingBlocks:
            ReachBlocks();
            break;
        case UpdateState::AwaitChecksum:
            ReachChecksum();
            break;
        default:
            break;
    }
    Tick1();
    const std::size_t sent = host.sent.size();
    const std::uint8_t timeout = session.ReplyTimeout();
    Feed(GetParam().reply);
    EXPECT_EQ(session.State(), GetParam().state);
    EXPECT_EQ(host.sent.size(), sent);
    EXPECT_EQ(session.ReplyTimeout(), timeout);
    EXPECT_EQ(session.ErrorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    OtherStates, IgnoredReplies,
    ::testing::Values(
        IgnoredReplyCase{"identity_frame_while_idle", UpdateState::Idle, IdentityReply()},
        IgnoredReplyCase{"hello_while_awaiting_identity", UpdateState::AwaitIdentity, Hello('3')},
        IgnoredReplyCase{"block_ack_while_awaiting_init", UpdateState::AwaitEepromInit,
                         Status(command::kBlock, kStatusOk)},
        IgnoredReplyCase{"checksum_while_writing_blocks", UpdateState::WritingBlocks,
                         Reply(command::kChecksum, {1, 2})},
        IgnoredReplyCase{"hello_while_writing_blocks", UpdateState::WritingBlocks, Hello('3')},
        IgnoredReplyCase{"block_ack_while_awaiting_checksum", UpdateState::AwaitChecksum,
                         Status(command::kBlock, kStatusOk)},
        IgnoredReplyCase{"status_without_payload", UpdateState::WritingBlocks,
                         EncodeFrame(command::kBlock, {})},
        IgnoredReplyCase{"checksum_missing_low_byte", UpdateState::AwaitChecksum,
                         Reply(command::kChecksum, {1})},
        IgnoredReplyCase{"bad_check", UpdateState::WritingBlocks,
                         Bytes{0xAB, 0xAB, 0x00, 0x02, 0x91, 0x01, 0xBF, 0x9B}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, DamagedIdentityChunkStartsTheUpdateInAnyState) {
    ReachBlocks();
    Feed(Status(command::kBlock, kStatusOk));
    Feed(Bytes{0xAB, 0xAB, 0x02, 0x95, 0x01, 0xE0});  // no valid frame, byte 3 is 0x95
    EXPECT_EQ(session.State(), UpdateState::AwaitEepromInit);
    EXPECT_EQ(host.LastCommand(), command::kWrite);
    EXPECT_TRUE(EndsWith(host.log.back(), " Start..."));
}

TEST_F(SessionTest, ShortChunkIsNeverTakenForAnIdentityReply) {
    Feed(Bytes{0xAB, 0xAB, 0x02, 0x95, 0x00, 0x00});
    ASSERT_EQ(session.State(), UpdateState::AwaitEepromInit);
    session.ResetForOpenClose();
    host.sent.clear();
    Feed(Bytes{0xAB, 0xAB, 0x02});  // byte 3 of the area is left over from the chunk before
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(SessionTest, ReplySplitOverTwoChunksIsNeverRecognised) {
    ReachIdentity();
    const Bytes reply = IdentityReply();
    Feed(Bytes(reply.begin(), reply.begin() + 300));
    Feed(Bytes(reply.begin() + 300, reply.end()));
    EXPECT_EQ(session.State(), UpdateState::AwaitIdentity);
    Tick1(kReplyTimeoutTicks);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Command Overtimer!"});
}

TEST_F(SessionTest, ChecksumMismatchIsCountedAndSendsNoFinish) {
    ReachChecksum();
    Feed(ChecksumReply(static_cast<std::uint16_t>(ImageChecksum(1024) ^ 1)));
    EXPECT_EQ(host.log.back(), "Write Err");
    EXPECT_EQ(session.ErrorCount(), 1);
    EXPECT_EQ(session.OkCount(), 0);
    EXPECT_EQ(host.LastCommand(), command::kChecksum);
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_THAT(host.results, ElementsAre(RunResult::ChecksumMismatch));
    Tick2(kRateRestoreTicks);
    EXPECT_EQ(host.baudRate, 9600u);
    Tick1(kChecksumTimeoutTicks);  // the time-out still runs out, in Idle: nothing shown
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(SessionTest, RefusedEepromInitEndsTheRunAndReturnsToTheHelloRate) {
    ReachIdentity();
    Feed(IdentityReply());
    Feed(Status(command::kWrite, 0));
    EXPECT_EQ(host.log.back(), "Init EEP Err");
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(session.ErrorCount(), 0);
    EXPECT_EQ(host.LastCommand(), command::kWrite);
    Tick2(kRateRestoreTicks);
    EXPECT_EQ(host.baudRate, 9600u);  // so that the next device's hello is understood
    Feed(Hello('3'));
    EXPECT_EQ(host.LastCommand(), command::kHandshake);
}

TEST_F(SessionTest, WithoutAutoTheOperatorConfirmsAndIsToldOfTheResult) {
    host.autoChecked = false;
    ReachIdentity();
    host.whileBoxOpen = [this](const Box& box) {
        EXPECT_EQ(box.text, "Ready Update?");
        EXPECT_EQ(session.State(), UpdateState::Idle);
    };
    Feed(IdentityReply());
    EXPECT_EQ(session.State(), UpdateState::AwaitEepromInit);
    Feed(Status(command::kWrite, kStatusOk));
    while (session.State() == UpdateState::WritingBlocks)
        Feed(Status(command::kBlock, kStatusOk));

    // While "Write Completed!" is open the session is Idle and answers a new hello;
    // the finish and the count follow once the box is closed.
    host.whileBoxOpen = [this](const Box& box) {
        EXPECT_EQ(box.text, "Write Completed!");
        EXPECT_EQ(session.State(), UpdateState::Idle);
        EXPECT_EQ(session.OkCount(), 0);
        EXPECT_NE(host.LastCommand(), command::kFinish);
        Feed(Hello('3'));
        EXPECT_EQ(host.LastCommand(), command::kHandshake);
    };
    Feed(ChecksumReply(ImageChecksum(1024)));
    EXPECT_EQ(host.LastCommand(), command::kFinish);
    EXPECT_EQ(session.OkCount(), 1);
    EXPECT_EQ(host.boxes[1].title, "Completed");
}

TEST_F(SessionTest, AnsweringNoChangesNothingAndTheTimeOutThenShowsNothing) {
    host.autoChecked = false;
    host.answer = false;
    ReachIdentity();
    const std::size_t sent = host.sent.size();
    Feed(IdentityReply());
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Ready Update?"});
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(host.sent.size(), sent);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(host.baudRate, 9600u);  // ready for the next device's hello
    Tick1(kReplyTimeoutTicks);
    EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(SessionTest, CloseDuringARunStopsTheTimeOutAndKeepsTheCounters) {
    ReachBlocks();
    Feed(Status(command::kBlock, 0));
    session.ResetForOpenClose();
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(session.ReplyTimeout(), 0);
    EXPECT_EQ(session.ErrorCount(), 1);
    EXPECT_EQ(host.progress.back(), 0);
    Tick1(20);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(SessionTest, SlowUpdateRateWhenFastIsOff) {
    host.fastChecked = false;
    ReachIdentity();
    EXPECT_EQ(host.sentAtRate.back(), 9600u);
    EXPECT_TRUE(host.rateChanges.empty());
}

TEST_F(SessionTest, NoImageNoUpdate) {
    image.Length = 0;
    ReachIdentity();
    Feed(IdentityReply());
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(host.LastCommand(), command::kIdentity);
}

class TinyImageSession : public SessionTest {
protected:
    TinyImageSession() : SessionTest(40) {}
};

TEST_F(TinyImageSession, ImageUnderOneHundredBytesShowsFullProgressWithoutDividingByZero) {
    ReachBlocks();
    EXPECT_EQ(session.ProgressDivisor(), 0);
    Feed(Status(command::kBlock, kStatusOk));
    EXPECT_EQ(host.progress.back(), 100);
    EXPECT_EQ(session.State(), UpdateState::AwaitChecksum);
    Feed(ChecksumReply(ImageChecksum(256)));
    EXPECT_EQ(session.OkCount(), 1);
}

class LargestImageSession : public SessionTest {
protected:
    LargestImageSession() : SessionTest(kMaxImageLength) {}
};

TEST_F(LargestImageSession, LastBlockEndsTheTransfer) {
    ReachChecksum();
    EXPECT_EQ(session.Link().ChecksumCount, kMaxImageLength);
    EXPECT_EQ(host.progress.back(), 100);
    Feed(ChecksumReply(ImageChecksum(kMaxImageLength)));
    EXPECT_EQ(session.OkCount(), 1);
}

}  // namespace
}  // namespace comflash::testing
