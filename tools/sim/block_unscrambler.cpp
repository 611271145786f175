#include "tools/sim/block_unscrambler.h"

namespace comflash::sim {
namespace {

constexpr std::uint8_t kSync = 0xAB;
constexpr std::uint8_t kBlockCommand = 0x91;
constexpr std::size_t kHeaderSize = 7;  // sync pair, length field, command, offset
constexpr std::size_t kCheckSize = 2;
constexpr std::uint16_t kKeySeed = 41177;
constexpr std::uint16_t kPositionSeed = 15922;
constexpr std::uint16_t kPositionMask = 0x00FF;
constexpr std::uint8_t kPositionFlip = 0x96;
// Every position the mask lets through lies inside the block.
static_assert(kPositionMask < kDeviceBlockLength);

// One CRC-16 step (polynomial 0x1021, most significant bit first) in its
// bit-by-bit form, kept here so that the device reads nothing of the tool's.
std::uint16_t CrcStep(std::uint16_t crc, std::uint8_t byte) {
    const unsigned v = (byte ^ (crc >> 8)) & 0xFF;
    unsigned acc = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const unsigned top = (acc >> 15) & 1;
        const unsigned current = (v >> bit) & 1;
        acc = (acc << 1) & 0xFFFF;
        if (top != current)
            acc ^= 0x1021;
    }
    return static_cast<std::uint16_t>(((crc << 8) & 0xFFFF) ^ acc);
}

bool CheckHolds(std::span<const std::uint8_t> frame) {
    const std::size_t checked = frame.size() - kCheckSize;
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < checked; ++i)
        crc = CrcStep(crc, frame[i]);
    return frame[checked] == (crc >> 8) && frame[checked + 1] == (crc & 0xFF);
}

bool IsBlockFrame(std::span<const std::uint8_t> frame) {
    constexpr std::size_t kLengthField = kDeviceBlockLength + 3;
    return frame.size() == kHeaderSize + kDeviceBlockLength + kCheckSize && frame[0] == kSync &&
           frame[1] == kSync && frame[2] == (kLengthField >> 8) &&
           frame[3] == (kLengthField & 0xFF) && frame[4] == kBlockCommand && CheckHolds(frame);
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
