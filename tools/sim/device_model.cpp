#include "tools/sim/device_model.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/sim/block_unscrambler.h"
#include "tools/sim/device_link.h"

namespace comflash::sim {
namespace {

using namespace link;

// An identity reply must fit the host's 2048-byte read: frame overhead,
// command and address leave this much memory.
constexpr std::size_t kLongestIdentityRead = kHostReadSize - kFrameOverhead - 3;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::vector<std::uint8_t> StatusReply(std::uint8_t command, std::uint8_t status) {
    const std::uint8_t payload[] = {status};
    return EncodeFrame(command, payload);
}

}  // namespace

Request ClassifyRequest(std::uint8_t command, std::span<const std::uint8_t> payload) {
    const bool addressed = payload.size() >= 2;
    const std::uint16_t address = addressed ? Word(payload, 0) : 0;
    switch (command) {
        case kHandshake:
            return {RequestKind::Handshake};
        case kIdentity:
            if (payload.size() >= 4)
                return {RequestKind::Identity, address};
            break;
        case kWrite:
            if (!addressed)
                break;
            if (address == kEepromInitAddress)
                return {RequestKind::EepromInit, address};
            if (address == kSerialRecordAddress)
                return {RequestKind::SerialRecord, address};
            return {RequestKind::EepromWrite, address};
        case kBlock:
            if (addressed)
                return {RequestKind::Block, address};
            break;
        case kChecksum:
            if (payload.size() >= 4)
                return {RequestKind::Checksum, address};
            break;
        case kFinish:
            return {RequestKind::Finish};
        default:
            break;
    }
    return {};
}

SimDevice::SimDevice(unsigned number, std::uint8_t version, DeviceSteps& steps)
    : version_(version), steps_(steps) {
    flash_.fill(0xFF);
    eeprom_.fill(0xFF);
    // Each device carries its own identity, so a host reading it can tell
    // one device of the series from the next.
    char label[32];
    const int length =
        std::snprintf(label, sizeof label, "SIM-%06u-V%u", number, unsigned{version});
    std::copy_n(label, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof label - 1),
                eeprom_.begin() + kDeviceLabelAddress);
}

void SimDevice::Restore(const DeviceMemory& memory) {
    std::copy_n(memory.flash.begin(), std::min(memory.flash.size(), flash_.size()), flash_.begin());
    std::copy_n(memory.eeprom.begin(), std::min(memory.eeprom.size(), eeprom_.size()),
                eeprom_.begin());
    HeldRecordFromMemory();
}

DeviceMemory SimDevice::Memory() const {
    return {{flash_.begin(), flash_.end()}, {eeprom_.begin(), eeprom_.end()}};
}

void SimDevice::HoldSerialNumber(std::string_view number) {
    const std::string record = std::string(kSerialRecordTag) + RecordText(number);
    std::copy(record.begin(), record.end(), eeprom_.begin() + kSerialRecordAddress);
    HeldRecordFromMemory();
}

// The report names the record the device holds, also one it brought along.
void SimDevice::HeldRecordFromMemory() {
    const auto tag = std::span(eeprom_).subspan(kSerialRecordAddress, kSerialRecordTag.size());
    if (!std::equal(tag.begin(), tag.end(), kSerialRecordTag.begin()))
        return;
    const auto text = std::span(eeprom_).subspan(kSerialRecordAddress + kSerialRecordTag.size(),
                                                 kLongestSerialText);
    const auto mark = std::find(text.begin(), text.end(), std::uint8_t{'#'});
    steps_.serialRecord = std::string(text.begin(), mark == text.end() ? mark : mark + 1);
}

void SimDevice::TakeHandshake(std::span<const std::uint8_t> payload) {
    ++steps_.handshakes;
    if (payload.size() < 2)
        return;
    keyByte_ = payload[1];
    steps_.keyBytes.push_back(keyByte_);
}

std::optional<std::vector<std::uint8_t>> SimDevice::Answer(std::span<const std::uint8_t> frame,
                                                           bool refuse) {
    const std::uint8_t command = frame[4];
    const auto payload = frame.subspan(5, frame.size() - kFrameOverhead - 1);
    const Request request = ClassifyRequest(command, payload);
    switch (request.kind) {
        case RequestKind::Identity:
            ++steps_.identityRequests;
            return EncodeFrame(kIdentity, ReadIdentity(payload));
        case RequestKind::EepromInit:
        case RequestKind::SerialRecord:
        case RequestKind::EepromWrite:
            return StatusReply(kWrite, WriteEeprom(request.address, payload.subspan(2), refuse));
        case RequestKind::Block:
            return StatusReply(kBlock, WriteBlock(request.address, frame, refuse));
        case RequestKind::Checksum: {
            const std::uint16_t crc = Checksum(request.address, Word(payload, 2), refuse);
            const std::uint8_t reply[] = {static_cast<std::uint8_t>(crc >> 8),
                                          static_cast<std::uint8_t>(crc & 0xFF)};
            return EncodeFrame(kChecksum, reply);
        }
        case RequestKind::Finish:
            steps_.finish = true;
            return std::nullopt;
        case RequestKind::Handshake:
        case RequestKind::Other:
            break;
    }
    ++steps_.otherFrames;
    return std::nullopt;
}

std::vector<std::uint8_t> SimDevice::ReadIdentity(std::span<const std::uint8_t> payload) const {
    const std::uint16_t address = Word(payload, 0);
    const std::size_t count = std::min<std::size_t>(Word(payload, 2), kLongestIdentityRead);
    std::vector<std::uint8_t> reply = {payload[0], payload[1]};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = std::size_t{address} + i;
        reply.push_back(at < eeprom_.size() ? eeprom_[at] : 0xFF);
    }
    return reply;
}

std::uint8_t SimDevice::WriteEeprom(std::uint16_t address, std::span<const std::uint8_t> data,
                                    bool refuse) {
    const bool isInit = address == kEepromInitAddress;
    const bool isSerial = address == kSerialRecordAddress;
    if (isInit)
        ++steps_.initRequests;
    if (refuse && isInit)
        steps_.initRefused = true;
    if (refuse || std::size_t{address} + data.size() > eeprom_.size())
        return kStatusRefused;

    std::copy(data.begin(), data.end(), eeprom_.begin() + address);
    steps_.eepromWrites.push_back({address, data.size()});
    if (isSerial) {
        std::string text(data.begin(), data.end());
        if (text.starts_with(kSerialRecordTag))
            text.erase(0, kSerialRecordTag.size());
        steps_.serialRecord = text;
        steps_.serialAcknowledged = true;
    }
    return kStatusDone;
}

std::uint8_t SimDevice::WriteBlock(std::uint16_t offset, std::span<const std::uint8_t> frame,
                                   bool refuse) {
    ++steps_.blocks;
    if (refuse) {
        steps_.refusedOffsets.push_back(offset);
        return kStatusRefused;
    }
    // Read with the device's own steps, keyed by the key byte this device
    // received and its version, never with the tool's encoder.
    const auto block = UnscrambleBlockFrame(frame, version_, keyByte_);
    if (!block) {
        ++steps_.unreadableBlocks;
        steps_.refusedOffsets.push_back(offset);
        return kStatusRefused;
    }
    std::copy(block->bytes.begin(), block->bytes.end(), flash_.begin() + block->offset);
    return kStatusDone;
}

std::uint16_t SimDevice::Checksum(std::uint16_t address, std::uint16_t count, bool wrong) {
    ++steps_.checksumRequests;
    const std::uint32_t bytes = count == 0 ? 65536u : count;  // 0: the whole 64 KiB
    std::uint16_t crc = kCrcPreset;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        crc = CrcStep(crc, flash_[(address + i) & 0xFFFF]);
    }
    if (wrong)
        crc = static_cast<std::uint16_t>(crc + 1);
    steps_.checksumCount = bytes;
    steps_.checksumValue = crc;
    return crc;
}

}  // namespace comflash::sim
