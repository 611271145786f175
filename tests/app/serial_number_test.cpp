#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "app/serial_number.h"
#include "session_fixture.h"

namespace comflash::testing {
namespace {

using ::testing::ElementsAre;

struct AdvanceCase {
    const char* name;
    std::string text;
    std::string next;
};

class Advance : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(Advance, KeepsPrefixAndLeadingZeros) {
    EXPECT_EQ(AdvanceSerialNumber(GetParam().text), GetParam().next);
}

INSTANTIATE_TEST_SUITE_P(Texts, Advance,
                         ::testing::Values(AdvanceCase{"prefix", "AB12000345", "AB12000346"},
                                           AdvanceCase{"six_digits", "004711", "004712"},
                                           AdvanceCase{"carry", "00000099", "00000100"},
                                           AdvanceCase{"long_text", "ABCDEFGHIJKLMN123456",
                                                       "ABCDEFGHIJKLMN123457"}),
                         [](const auto& info) { return std::string(info.param.name); });

class SerialNumberWrite : public SessionTest {
public:
    // For the rows of a table that act on the session.
    using SessionTest::Feed;
    using SessionTest::host;
    using SessionTest::session;
    using SessionTest::Tick1;

protected:
    Bytes SentRecordText() const {
        const Bytes& frame = host.sent.back();
        return Bytes(frame.begin() + 7, frame.end() - 2);  // tag and text
    }
    static Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
};

TEST_F(SerialNumberWrite, AcknowledgedRecordAdvancesFieldAndSetting) {
    settings.WriteSetting("SN", "AB12000345");
    WriteSerialNumber();
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Readlly Write SN?"});
    EXPECT_EQ(session.State(), UpdateState::AwaitSerialWrite);
    EXPECT_EQ(session.ReplyTimeout(), kReplyTimeoutTicks);
    EXPECT_EQ(host.sentAtRate.back(), 38400u);
    EXPECT_EQ(SentRecordText(), AsBytes("VTMAB12000345#"));

    host.whileBoxOpen = [this](const Box& box) {
        EXPECT_EQ(box.text, "Write SN Completed!");
        EXPECT_EQ(box.title, "Completed");
        EXPECT_EQ(session.State(), UpdateState::Idle);
        EXPECT_EQ(host.serialNumber, "AB12000345");
    };
    Feed(Status(command::kWrite, kStatusOk));
    Drain();
    EXPECT_EQ(host.serialNumber, "AB12000346");
    EXPECT_EQ(settings.ReadSetting("SN"), "AB12000346");
    EXPECT_EQ(session.OkCount(), 0);
    Tick2(kRateRestoreTicks);
    EXPECT_EQ(host.baudRate, 9600u);
}

TEST_F(SerialNumberWrite, SixteenCharactersTravelWholeWithoutTheMark) {
    settings.WriteSetting("SN", "ABCDEFGHIJ123456");
    WriteSerialNumber();
    EXPECT_EQ(SentRecordText(), AsBytes("VTMABCDEFGHIJ123456"));
    Feed(Status(command::kWrite, kStatusOk));
    EXPECT_EQ(host.serialNumber, "ABCDEFGHIJ123457");
}

// The number written is the store's: the field only shows it, so a stale
// field of another series (left from before another process moved the
// store on) cannot put its number into a device.
TEST_F(SerialNumberWrite, TheStoresNumberIsWrittenWhateverTheFieldShows) {
    settings.WriteSetting("SN", "AB12000345");
    host.serialNumber = "ZZ00000001";
    WriteSerialNumber();
    EXPECT_EQ(SentRecordText(), AsBytes("VTMAB12000345#"));
    EXPECT_EQ(host.serialNumber, "AB12000345");
}

TEST_F(SerialNumberWrite, RefusedRecordKeepsTheNumberForTheNextTry) {
    settings.WriteSetting("SN", "004711");
    WriteSerialNumber();
    Feed(Status(command::kWrite, 0));
    Drain();
    EXPECT_EQ(host.boxes.back().text, "Write SN Error!");
    // Taken before sending, given back on the refusal: no gap.
    EXPECT_EQ(settings.ReadSetting("SN"), "004711");
    EXPECT_EQ(Settled(),
              (std::vector<std::pair<std::string, SerialFate>>{{"004711", SerialFate::Refused}}));
    EXPECT_EQ(session.ErrorCount(), 0);
    EXPECT_EQ(session.State(), UpdateState::Idle);
    WriteSerialNumber();
    EXPECT_EQ(SentRecordText(), AsBytes("VTM004711#"));
}

// The device may hold a number whose acknowledgement never came: it is used
// up, never written into a second device.
struct UnconfirmedCase {
    const char* name;
    std::function<void(SerialNumberWrite&)> loseTheReply;
};

class UnconfirmedNumber : public SerialNumberWrite,
                          public ::testing::WithParamInterface<UnconfirmedCase> {};

TEST_P(UnconfirmedNumber, IsUsedUpAndSaidInTheLog) {
    settings.WriteSetting("SN", "004711");
    WriteSerialNumber();
    GetParam().loseTheReply(*this);
    Drain();

    EXPECT_EQ(
        Settled(),
        (std::vector<std::pair<std::string, SerialFate>>{{"004711", SerialFate::Unconfirmed}}));
    EXPECT_EQ(std::count_if(host.log.begin(), host.log.end(),
                            [](const std::string& line) {
                                return line.rfind("SN 004711 unconfirmed: ", 0) == 0;
                            }),
              1);
    EXPECT_EQ(settings.ReadSetting("SN"), "004712");
    EXPECT_TRUE(serialNumbers.Unconfirmed("004711"));
    EXPECT_EQ(host.serialNumber, "004712");
    // A late acknowledgement changes nothing any more.
    Feed(Status(command::kWrite, kStatusOk));
    EXPECT_EQ(Settled().size(), 1u);

    WriteSerialNumber();
    EXPECT_EQ(SentRecordText(), AsBytes("VTM004712#"));
}

INSTANTIATE_TEST_SUITE_P(
    Losses, UnconfirmedNumber,
    ::testing::Values(UnconfirmedCase{"time_out",
                                      [](SerialNumberWrite& t) {
                                          t.Tick1(kReplyTimeoutTicks);
                                          EXPECT_EQ(t.host.boxes.back().text, "Command Overtimer!");
                                          EXPECT_EQ(t.host.baudRate, 9600u);
                                          EXPECT_EQ(t.session.State(), UpdateState::Idle);
                                      }},
                      UnconfirmedCase{"port_closed",
                                      [](SerialNumberWrite& t) {
                                          t.session.ResetForOpenClose();
                                          EXPECT_EQ(t.session.State(), UpdateState::Idle);
                                      }},
                      UnconfirmedCase{
                          "update_started_by_a_damaged_identity_reply",
                          [](SerialNumberWrite& t) {
                              t.Feed(Bytes{kSyncByte, kSyncByte, 0x00, command::kIdentity, 0x00});
                              EXPECT_EQ(t.session.State(), UpdateState::AwaitEepromInit);
                          }}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedTextCase {
    const char* name;
    std::string text;
    const char* box;  // the box shown, or nullptr when an error is raised
};

class RefusedBeforeSending : public SerialNumberWrite,
                             public ::testing::WithParamInterface<RefusedTextCase> {};

TEST_P(RefusedBeforeSending, NothingIsSent) {
    settings.WriteSetting("SN", GetParam().text);
    if (GetParam().box != nullptr) {
        WriteSerialNumber();
        EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{GetParam().box});
    } else {
        EXPECT_ANY_THROW(session.WriteSerialNumber());
        EXPECT_TRUE(host.boxes.empty());
    }
    Drain();
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(settings.ReadSetting("SN"), GetParam().text) << "nothing was taken";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedBeforeSending,
    ::testing::Values(RefusedTextCase{"five_characters", "12345", "Write SN Disable!"},
                      RefusedTextCase{"empty", "", "Write SN Disable!"},
                      RefusedTextCase{"letters_at_the_end", "SN0012AB", nullptr},
                      RefusedTextCase{"sign_among_digits", "AB-12345", nullptr},
                      RefusedTextCase{"all_nines", "AB999999", nullptr},
                      // Two bytes on the wire for one character: the record would change length.
                      RefusedTextCase{"non_ascii_prefix",
                                      "\xC3\x84"
                                      "B000001",
                                      nullptr},
                      RefusedTextCase{"control_character", "AB\t000001", nullptr},
                      // The record ends at '#' in the device: every device would hold "QA".
                      RefusedTextCase{"record_end_mark", "QA#000100", nullptr},
                      // Cut to 16 characters, the digits would repeat device after device.
                      RefusedTextCase{"seventeen_characters", "ABCDEFGHIJK123456", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialNumberWrite, NonDecimalDigitsGiveTheConversionMessage) {
    settings.WriteSetting("SN", "SN0012AB");
    try {
        session.WriteSerialNumber();
        FAIL() << "expected a conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'0012AB' is not a valid integer value");
    }
}

TEST_F(SerialNumberWrite, AnsweringNoChangesNothing) {
    settings.WriteSetting("SN", "004711");
    host.answer = false;
    WriteSerialNumber();
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(session.State(), UpdateState::Idle);
    EXPECT_EQ(session.ReplyTimeout(), 0);
    EXPECT_EQ(settings.ReadSetting("SN"), "004711");
}

TEST_F(SerialNumberWrite, StoreThatCannotMarkTheNumberTakenSendsNothing) {
    settings.WriteSetting("SN", "004711");
    // A folder where the lock file belongs: every write fails, for root too,
    // while the number can still be read.
    const auto lock = scratch.Folder() / "Norvane" / "FW" / "settings.lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directories(lock);
    WriteSerialNumber();
    EXPECT_EQ(host.failures.size(), 1u) << "the view is told why";
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(session.State(), UpdateState::Idle);
}

TEST_F(SerialNumberWrite, ReadSerialNumberAsksForTheIdentityAndLeadsToTheUpdate) {
    session.ReadSerialNumber();
    EXPECT_TRUE(host.readBackCleared);
    EXPECT_EQ(host.LastCommand(), command::kIdentity);
    EXPECT_EQ(host.sentAtRate.back(), 38400u);
    EXPECT_EQ(session.State(), UpdateState::AwaitIdentity);
    Feed(IdentityReply());
    EXPECT_EQ(session.State(), UpdateState::AwaitEepromInit);
}

TEST_F(SerialNumberWrite, WriteInTheMiddleOfAnUpdateTakesOverTheState) {
    settings.WriteSetting("SN", "004711");
    ReachBlocks();
    WriteSerialNumber();
    EXPECT_EQ(session.State(), UpdateState::AwaitSerialWrite);
    Feed(Status(command::kBlock, kStatusOk));  // the update's next reply is ignored
    EXPECT_EQ(session.State(), UpdateState::AwaitSerialWrite);
    Feed(Status(command::kWrite, kStatusOk));
    EXPECT_EQ(host.serialNumber, "004712");
}

// With read-back, an acknowledged record counts only once the device shows it.
class ReadBack : public SerialNumberWrite {
public:
    // The identity reply of a device whose EEPROM holds `record` at 0x03ED.
    static Bytes IdentityHolding(const std::string& record) {
        Bytes payload(610, 0xFF);
        payload[0] = 0x01;
        payload[1] = 0xE0;
        std::copy(record.begin(), record.end(), payload.begin() + 527);
        return Reply(command::kIdentity, payload);
    }

protected:
    // Provisioning: the port holds a number, which goes to the device.
    void WriteAndAcknowledge() {
        settings.WriteSetting("SN", "004711");
        numbers.SetProvisioning(true);
        ASSERT_FALSE(numbers.ReadyForDevice([] {}));
        Drain();
        ASSERT_EQ(numbers.Held(), "004711");
        session.SendHeldSerialNumber(true);
        Feed(Status(command::kWrite, kStatusOk));
        ASSERT_EQ(session.State(), UpdateState::AwaitIdentity);
        ASSERT_EQ(host.LastCommand(), command::kIdentity);
        ASSERT_TRUE(Settled().empty()) << "nothing counts before the read-back";
    }
};

TEST_F(ReadBack, DeviceHoldingTheRecordMakesItWritten) {
    WriteAndAcknowledge();
    Feed(IdentityHolding("VTM004711#"));
    EXPECT_EQ(Settled(),
              (std::vector<std::pair<std::string, SerialFate>>{{"004711", SerialFate::Written}}));
    EXPECT_EQ(host.results.back(), RunResult::SerialWritten);
    EXPECT_EQ(session.State(), UpdateState::Idle);
}

struct ReadBackCase {
    const char* name;
    std::function<void(ReadBack&)> answer;
};

class ReadBackFails : public ReadBack, public ::testing::WithParamInterface<ReadBackCase> {};

TEST_P(ReadBackFails, LeavesTheNumberUnconfirmedAndStartsNoUpdate) {
    WriteAndAcknowledge();
    GetParam().answer(*this);
    EXPECT_EQ(
        Settled(),
        (std::vector<std::pair<std::string, SerialFate>>{{"004711", SerialFate::Unconfirmed}}));
    EXPECT_EQ(host.updatesStarted, 0);
    EXPECT_NE(session.State(), UpdateState::AwaitEepromInit);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadBackFails,
    ::testing::Values(
        ReadBackCase{"another_record",
                     [](ReadBack& t) { t.Feed(ReadBack::IdentityHolding("VTM004719#")); }},
        ReadBackCase{"no_record", [](ReadBack& t) { t.Feed(ReadBack::IdentityHolding("")); }},
        ReadBackCase{"damaged_reply",
                     [](ReadBack& t) {
                         t.Feed(Bytes{kSyncByte, kSyncByte, 0x02, command::kIdentity, 0x01});
                     }},
        ReadBackCase{"no_answer", [](ReadBack& t) { t.Tick1(kReplyTimeoutTicks); }}),
    [](const auto& info) { return std::string(info.param.name); });

// A hello that comes while the port's number is still being taken is
// answered once the number is there: a device may say hello only once.
TEST_F(SerialNumberWrite, HelloWaitingForTheNumberIsAnsweredWhenItComes) {
    settings.WriteSetting("SN", "004711");
    numbers.SetProvisioning(true);
    host.readyForDevice = false;  // the station's answer while the number is taken
    Feed(Hello('3'));
    EXPECT_TRUE(host.sent.empty());
    Tick2(kLateHelloTicks - 1);
    session.AnswerLateHello();
    EXPECT_EQ(host.LastCommand(), command::kHandshake);
    EXPECT_EQ(session.HelloDelay(), kHelloDelayTicks);
}

TEST_F(SerialNumberWrite, HelloTooLongAgoIsNotAnsweredLate) {
    host.readyForDevice = false;
    Feed(Hello('3'));
    Tick2(kLateHelloTicks);
    session.AnswerLateHello();
    EXPECT_TRUE(host.sent.empty()) << "the device has long gone on";
}

}  // namespace
}  // namespace comflash::testing
