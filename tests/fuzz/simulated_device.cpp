#include "simulated_device.h"

#include <algorithm>
#include <cstring>

#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "tools/sim/block_unscrambler.h"

namespace comflash::fuzz {
namespace {

constexpr std::size_t kIdentityReplyPayload = 610;
constexpr std::uint8_t kErasedByte = 0xFF;

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t index) {
    return static_cast<std::uint16_t>(bytes[index] << 8 | bytes[index + 1]);
}

}  // namespace

void SimulatedDevice::Receive(std::span<const std::uint8_t> frame, std::uint8_t protocolVersion) {
    const std::uint8_t commandByte = frame[4];
    const auto payload = frame.subspan(5, frame.size() - kFrameOverhead - 1);
    switch (commandByte) {
        case command::kHandshake:
            if (payload.size() >= 2)
                handshakeKey_ = payload[1];
            break;
        case command::kIdentity:
            pending_ = Request::Identity;
            break;
        case command::kWrite:
            if (payload.size() >= 2 && WordAt(payload, 0) == kEepromInitAddress)
                StartRun();
            pending_ = Request::Write;
            break;
        case command::kBlock:
            StoreBlock(frame, protocolVersion);
            pending_ = Request::Block;
            break;
        case command::kChecksum:
            checksumCount_ = payload.size() >= 4 ? WordAt(payload, 2) : 0;
            pending_ = Request::Checksum;
            break;
        default:
            pending_.reset();
    }
}

void SimulatedDevice::StartRun() {
    memory_.fill(kErasedByte);
    written_.fill(0);
    runStarted_ = true;
}

void SimulatedDevice::StoreBlock(std::span<const std::uint8_t> frame,
                                 std::uint8_t protocolVersion) {
    // The simulator's own reading of the block, so that the tool's encoder
    // is checked against the device's steps rather than against itself.
    const auto block = sim::UnscrambleBlockFrame(frame, protocolVersion, handshakeKey_);
    if (!block)
        return;
    const std::size_t count = std::min(block->bytes.size(), kMemorySize - block->offset);
    std::memcpy(memory_.data() + block->offset, block->bytes.data(), count);
    std::memset(written_.data() + block->offset, 1, count);
}

std::vector<std::uint8_t> SimulatedDevice::AnswerPending(std::uint16_t checksumError) {
    if (!pending_)
        return {};
    const Request request = *pending_;
    pending_.reset();
    switch (request) {
        case Request::Identity:
            return EncodeFrame(command::kIdentity,
                               std::vector<std::uint8_t>(kIdentityReplyPayload, 0x5A));
        case Request::Write:
            return EncodeFrame(command::kWrite, std::vector<std::uint8_t>{kStatusOk});
        case Request::Block:
            return EncodeFrame(command::kBlock, std::vector<std::uint8_t>{kStatusOk});
        case Request::Checksum: {
            const auto crc = static_cast<std::uint16_t>(
                Crc16Ccitt(std::span(memory_).first(checksumCount_)) ^ checksumError);
            return EncodeFrame(command::kChecksum,
                               std::vector<std::uint8_t>{static_cast<std::uint8_t>(crc >> 8),
                                                         static_cast<std::uint8_t>(crc & 0xFF)});
        }
    }
    return {};
}

bool SimulatedDevice::HoldsImage(const FirmwareImage& image, std::uint16_t count) const {
    return runStarted_ && std::memchr(written_.data(), 0, count) == nullptr &&
           std::memcmp(memory_.data(), image.Data.data(), count) == 0;
}

}  // namespace comflash::fuzz
