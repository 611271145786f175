// The simulated device's own reading of image block frames (command 0x91):
// it checks the frame, takes its offset and turns the block bytes back into
// image bytes, the way the device does. It is written from the device's steps
// alone and shares no code with the tool's block encoder, not even the CRC
// step: were the two to share a fault, every block would still unscramble to
// the image and the fault would pass unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace comflash::sim {

// The device takes blocks of this many image bytes, no other.
inline constexpr std::size_t kDeviceBlockLength = 256;

struct UnscrambledBlock {
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> bytes;  // the image bytes, as the device stores them
};

// `frame` runs from the sync pair to the check. `version` is the device's
// own (0: plain blocks), `keyByte` the one of the last handshake reply it
// took. Nothing when the frame is not a block frame of kDeviceBlockLength
// bytes whose check holds.
std::optional<UnscrambledBlock> UnscrambleBlockFrame(std::span<const std::uint8_t> frame,
                                                     std::uint8_t version, std::uint8_t keyByte);

}  // namespace comflash::sim
