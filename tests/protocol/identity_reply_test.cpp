// A device's own serial number, read from identity replies built byte by
// byte: the record "VTM..." at EEPROM 0x03ED is payload byte 527 on.
#include "protocol/identity_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The reply's payload: the address 01 E0, then 608 bytes of an erased EEPROM
// with `record` written at 0x03ED.
Bytes Payload(const std::string& record, std::size_t length = 2 + 608) {
    Bytes payload(length, 0xFF);
    payload[0] = 0x01;
    payload[1] = 0xE0;
    for (std::size_t i = 0; i < record.size() && 527 + i < payload.size(); ++i)
        payload[527 + i] = static_cast<std::uint8_t>(record[i]);
    return payload;
}

struct ReplyCase {
    const char* name;
    Bytes payload;
    bool checked;
    DeviceSerialKind kind;
    std::string number;
};

class IdentityReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(IdentityReply, SaysWhatTheDeviceHoldsOrThatItIsUnknown) {
    const DeviceSerial serial = ReadDeviceSerial(GetParam().payload, GetParam().checked);
    EXPECT_EQ(serial.kind, GetParam().kind) << serial.reason;
    EXPECT_EQ(serial.number, GetParam().number);
    EXPECT_EQ(serial.reason.empty(), GetParam().kind != DeviceSerialKind::Unknown);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IdentityReply,
    ::testing::Values(
        ReplyCase{"number_with_mark", Payload("VTMQA000123#"), true, DeviceSerialKind::Number,
                  "QA000123"},
        ReplyCase{"sixteen_characters_without_mark", Payload("VTMABCDEFGHIJ123456"), true,
                  DeviceSerialKind::Number, "ABCDEFGHIJ123456"},
        ReplyCase{"erased", Payload(""), true, DeviceSerialKind::None, ""},
        ReplyCase{"other_bytes_where_the_tag_belongs", Payload("VTN000001#"), true,
                  DeviceSerialKind::None, ""},
        ReplyCase{"check_failed", Payload("VTMQA000123#"), false, DeviceSerialKind::Unknown, ""},
        ReplyCase{"too_short_for_the_record", Payload("VTMQA000123#", 540), true,
                  DeviceSerialKind::Unknown, ""},
        ReplyCase{"just_long_enough", Payload("VTMQA000123#", 546), true, DeviceSerialKind::Number,
                  "QA000123"},
        ReplyCase{"unprintable_after_the_tag",
                  Payload("VTMQA\x01"
                          "00123#"),
                  true, DeviceSerialKind::Unknown, ""},
        // Erased bytes after the tag, no mark: 0xFF is not a character.
        ReplyCase{"tag_over_erased_bytes", Payload("VTM"), true, DeviceSerialKind::Unknown, ""},
        ReplyCase{"empty_record", Payload("VTM#"), true, DeviceSerialKind::Unknown, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
