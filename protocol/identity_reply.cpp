#include "protocol/identity_reply.h"

#include <algorithm>

namespace comflash {
namespace {

bool Printable(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

DeviceSerial Unknown(std::string reason) {
    return {DeviceSerialKind::Unknown, {}, std::move(reason)};
}

}  // namespace

DeviceSerial ReadDeviceSerial(std::span<const std::uint8_t> payload, bool checked) {
    if (!checked)
        return Unknown("its identity reply failed its check");
    if (payload.size() < kIdentityRecordEnd)
        return Unknown("its identity reply is too short to hold a serial number");
    const auto tag = payload.subspan(kIdentityRecordOffset, kSerialRecordTag.size());
    if (!std::equal(tag.begin(), tag.end(), kSerialRecordTag.begin()))
        return {DeviceSerialKind::None, {}, {}};

    const auto text =
        payload.subspan(kIdentityRecordOffset + kSerialRecordTag.size(), kMaxSerialTextLength);
    const auto end = std::find(text.begin(), text.end(), static_cast<std::uint8_t>(kSerialRecordEnd));
    std::string number(text.begin(), end);
    if (number.empty())
        return Unknown("its serial-number record is empty");
    if (!std::all_of(number.begin(), number.end(),
                     [](char c) { return Printable(static_cast<std::uint8_t>(c)); })) {
        return Unknown("its serial-number record holds unprintable characters");
    }
    return {DeviceSerialKind::Number, std::move(number), {}};
}

}  // namespace comflash
