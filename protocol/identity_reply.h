// What a device's identity reply says about the device's own serial number.
//
// The identity request reads 608 bytes of EEPROM from 0x01E0; the layout of
// the reply's payload is taken as the device's answer to that request: the
// two address bytes 01 E0, then the bytes read, payload byte 2 + k holding
// EEPROM address 0x01E0 + k. The serial-number record at 0x03ED ("VTM", then
// up to 16 characters ending at "#") is then at payload bytes 527 to 545.
// This layout is the one to confirm on a real device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocol/host_commands.h"

namespace comflash {

inline constexpr std::size_t kIdentityAddressBytes = 2;
inline constexpr std::size_t kIdentityRecordOffset =
    kIdentityAddressBytes + (kSerialRecordAddress - kIdentityAddress);  // 527
inline constexpr std::size_t kIdentityRecordEnd =
    kIdentityRecordOffset + kSerialRecordTag.size() + kMaxSerialTextLength;  // 546

// A device's number is one of three things, never guessed.
enum class DeviceSerialKind {
    Number,   // a checked reply with "VTM" and printable characters
    None,     // a checked reply without "VTM" at its place (an erased EEPROM)
    Unknown,  // anything else: a reply that failed its check, too short, unprintable
};

struct DeviceSerial {
    DeviceSerialKind kind = DeviceSerialKind::Unknown;
    std::string number;  // the number, for DeviceSerialKind::Number
    std::string reason;  // why it is unknown, in words for the operator
};

// `payload` is the reply's payload (after the command byte); `checked` says
// whether the frame's check passed.
DeviceSerial ReadDeviceSerial(std::span<const std::uint8_t> payload, bool checked);

}  // namespace comflash
