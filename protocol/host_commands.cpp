#include "protocol/host_commands.h"

#include <string>

#include "protocol/frame.h"

namespace comflash {
namespace {

// Writes sync, length field and command into FrameBuffer; the payload follows at index 5.
void BeginFrame(LinkState& link, std::uint16_t lengthField, std::uint8_t commandByte) {
    auto& b = link.FrameBuffer;
    b[0] = kSyncByte;
    b[1] = kSyncByte;
    b[2] = static_cast<std::uint8_t>(lengthField >> 8);
    b[3] = static_cast<std::uint8_t>(lengthField & 0xFF);
    b[4] = commandByte;
}

void PutWord(LinkState& link, std::size_t index, std::uint16_t value) {
    link.FrameBuffer[index] = static_cast<std::uint8_t>(value >> 8);
    link.FrameBuffer[index + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

std::uint8_t EvolveHandshakeKey(std::uint8_t key) {
    std::uint8_t k = key;
    k = static_cast<std::uint8_t>(k + 0x60);
    k = static_cast<std::uint8_t>(k * 33);
    k = static_cast<std::uint8_t>(k - 0x99);
    return static_cast<std::uint8_t>(k ^ 0xA9);
}

std::string RecordTextFor(std::string_view serialNumber) {
    std::string text(serialNumber);
    text += kSerialRecordEnd;
    if (text.size() > kMaxSerialTextLength) text.resize(kMaxSerialTextLength);
    return text;
}

void SendHandshakeReply(LinkState& link) {
    link.HandshakeKeyByte = EvolveHandshakeKey(link.HandshakeKeyByte);
    BeginFrame(link, 3, command::kHandshake);
    link.FrameBuffer[5] = kModeByte;
    link.FrameBuffer[6] = link.HandshakeKeyByte;
    CloseAndSendFrame(link, 3);
}

void SendIdentityRequest(LinkState& link) {
    BeginFrame(link, 5, command::kIdentity);
    PutWord(link, 5, kIdentityAddress);
    PutWord(link, 7, kIdentityLength);
    CloseAndSendFrame(link, 5);
}

void SendEepromInit(LinkState& link) {
    BeginFrame(link, 3 + kEepromInitLength, command::kWrite);
    PutWord(link, 5, kEepromInitAddress);
    for (std::size_t i = 0; i < kEepromInitLength; ++i) link.FrameBuffer[7 + i] = 0xFF;
    CloseAndSendFrame(link, 3 + kEepromInitLength);
}

void SendSerialRecord(LinkState& link, std::string_view serialNumber) {
    const std::string text = RecordTextFor(serialNumber);
    const auto n = static_cast<std::uint16_t>(text.size());
    BeginFrame(link, static_cast<std::uint16_t>(n + 6), command::kWrite);
    PutWord(link, 5, kSerialRecordAddress);
    for (std::size_t i = 0; i < kSerialRecordTag.size(); ++i) {
        link.FrameBuffer[7 + i] = static_cast<std::uint8_t>(kSerialRecordTag[i]);
    }
    for (std::size_t i = 0; i < n; ++i) link.FrameBuffer[10 + i] = static_cast<std::uint8_t>(text[i]);
    CloseAndSendFrame(link, static_cast<std::uint16_t>(n + 6));
}

void SendChecksumRequest(LinkState& link) {
    BeginFrame(link, 5, command::kChecksum);
    PutWord(link, 5, 0x0000);
    PutWord(link, 7, link.ChecksumCount);
    CloseAndSendFrame(link, 5);
}

void SendFinish(LinkState& link) {
    BeginFrame(link, 2, command::kFinish);
    link.FrameBuffer[5] = kFinishPayload;
    CloseAndSendFrame(link, 2);
}

}  // namespace comflash
