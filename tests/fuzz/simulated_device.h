// The device's side of the line, as much of it as the receive-path fuzzer
// needs: it takes every frame the tool sends, stores the image blocks as a
// device does (unscrambled with the key of the last handshake reply), and can
// answer the request that waits, as a well-behaved device would.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/firmware_image.h"
#include "protocol/link_state.h"

namespace comflash::fuzz {

class SimulatedDevice {
public:
    // A whole, well-formed frame from the tool. `protocolVersion` is the one
    // the device announced, which decides whether blocks come scrambled.
    void Receive(std::span<const std::uint8_t> frame, std::uint8_t protocolVersion);

    // The reply to the request that waits, as one chunk; empty when none
    // waits. A checksum reply has its bits in `checksumError` flipped, as
    // from a device that stored something else.
    std::vector<std::uint8_t> AnswerPending(std::uint16_t checksumError = 0);

    // Whether the blocks of the current run (since the last EEPROM init)
    // wrote every byte from 0 to count - 1, each equal to the image's.
    bool HoldsImage(const FirmwareImage& image, std::uint16_t count) const;

private:
    enum class Request { Identity, Write, Block, Checksum };

    void StartRun();
    void StoreBlock(std::span<const std::uint8_t> frame, std::uint8_t protocolVersion);

    // Large enough for a block that starts at the last 16-bit offset.
    static constexpr std::size_t kMemorySize = kImageAreaSize + kBlockLength;

    // Byte arrays handled with memcpy and memcmp: the fuzzer traces every
    // comparison made in a loop, which would slow it down.
    std::array<std::uint8_t, kMemorySize> memory_{};
    std::array<std::uint8_t, kMemorySize> written_{};
    bool runStarted_ = false;
    std::uint8_t handshakeKey_ = 0;
    std::optional<Request> pending_;
    std::uint16_t checksumCount_ = 0;
};

}  // namespace comflash::fuzz
