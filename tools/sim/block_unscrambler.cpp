#include "tools/sim/block_unscrambler.h"

#include "tools/sim/device_link.h"

namespace comflash::sim {
namespace {

using link::CrcStep;

constexpr std::size_t kHeaderSize = 7;  // sync pair, length field, command, offset
constexpr std::size_t kCheckSize = 2;
constexpr std::uint16_t kKeySeed = 41177;
constexpr std::uint16_t kPositionSeed = 15922;
constexpr std::uint16_t kPositionMask = 0x00FF;
constexpr std::uint8_t kPositionFlip = 0x96;
// Every position the mask lets through lies inside the block.
static_assert(kPositionMask < kDeviceBlockLength);

bool IsBlockFrame(std::span<const std::uint8_t> frame) {
    constexpr std::size_t kLengthField = kDeviceBlockLength + 3;
    return frame.size() == kHeaderSize + kDeviceBlockLength + kCheckSize &&
           frame[0] == link::kSync && frame[1] == link::kSync && frame[2] == (kLengthField >> 8) &&
           frame[3] == (kLengthField & 0xFF) && frame[4] == link::kBlock && link::CheckHolds(frame);
}

// The starting running key and the flipped position follow from the
// offset, the key byte and the version, so the device derives them itself.
void Unscramble(std::vector<std::uint8_t>& block, std::uint16_t offset, std::uint8_t keyByte,
                std::uint8_t version) {
    const auto high = static_cast<std::uint8_t>(offset >> 8);
    const auto low = static_cast<std::uint8_t>(offset & 0xFF);

    const std::uint16_t w = CrcStep(kKeySeed, high);
    auto k = static_cast<std::uint8_t>(0x60 ^ (w >> 8) ^ (w & 0xFF) ^ keyByte);

    std::uint16_t q = CrcStep(kPositionSeed, high);
    q = CrcStep(q, low);
    if (version > 1)
        q = CrcStep(q, keyByte);
    const std::size_t pos = q & kPositionMask;

    // The sent byte is x = k XOR b, so b = x XOR k; the key then moves on
    // from the plain byte exactly as it did when the byte was sent.
    for (std::uint8_t& byte : block) {
        const std::uint8_t x = byte;
        const auto b = static_cast<std::uint8_t>(x ^ k);
        byte = b;
        k = static_cast<std::uint8_t>(((k + b) & 0xFF) ^ x);
    }
    block[pos] ^= kPositionFlip;
}

}  // namespace

std::optional<UnscrambledBlock> UnscrambleBlockFrame(std::span<const std::uint8_t> frame,
                                                     std::uint8_t version, std::uint8_t keyByte) {
    if (!IsBlockFrame(frame))
        return std::nullopt;
    UnscrambledBlock block;
    block.offset = static_cast<std::uint16_t>(frame[5] << 8 | frame[6]);
    const auto bytes = frame.subspan(kHeaderSize, kDeviceBlockLength);
    block.bytes.assign(bytes.begin(), bytes.end());
    if (version != 0)
        Unscramble(block.bytes, block.offset, keyByte, version);
    return block;
}

}  // namespace comflash::sim
