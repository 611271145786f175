// Image block frames (command 0x91) and the scrambling of their bytes for
// devices that announced protocol version 1 or more.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/firmware_image.h"
#include "protocol/link_state.h"

namespace comflash {

inline constexpr std::uint16_t kKeySeed = 41177;
inline constexpr std::uint16_t kPositionSeed = 15922;
inline constexpr std::uint8_t kPositionFlip = 0x96;

// Where a scrambled block starts: its running key and the flipped position.
struct BlockScrambleStart {
    std::uint8_t runningKey;
    std::uint16_t position;
};

// The start values follow from the block offset, the handshake key byte and
// the protocol version alone, so the device derives them too.
BlockScrambleStart ScrambleStartFor(std::uint16_t offset, std::uint8_t handshakeKey,
                                    std::uint8_t version,
                                    std::uint16_t positionMask = kPositionMask);

// Scrambles plain block bytes in place (version 1 or more). The inverse is
// the device's alone: the simulator keeps its own, written apart from this.
void ScrambleBlock(std::span<std::uint8_t> block, BlockScrambleStart start);

// Builds and sends the block frame for BlockOffset from the image; records
// ChecksumCount as BlockOffset + 256.
void SendBlock(LinkState& link, const FirmwareImage& image);

}  // namespace comflash
