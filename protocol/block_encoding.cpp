#include "protocol/block_encoding.h"

#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"

namespace comflash {

BlockScrambleStart ScrambleStartFor(std::uint16_t offset, std::uint8_t handshakeKey,
                                    std::uint8_t version, std::uint16_t positionMask) {
    const auto high = static_cast<std::uint8_t>(offset >> 8);
    const auto low = static_cast<std::uint8_t>(offset & 0xFF);

    const std::uint16_t w = Crc16Step(kKeySeed, high);
    const auto key = static_cast<std::uint8_t>(0x60 ^ (w >> 8) ^ (w & 0xFF) ^ handshakeKey);

    std::uint16_t q = Crc16Step(Crc16Step(kPositionSeed, high), low);
    if (version > 1)
        q = Crc16Step(q, handshakeKey);
    return {key, static_cast<std::uint16_t>(q & positionMask)};
}

void ScrambleBlock(std::span<std::uint8_t> block, BlockScrambleStart start) {
    if (start.position < block.size())
        block[start.position] ^= kPositionFlip;
    std::uint8_t k = start.runningKey;
    for (std::uint8_t& byte : block) {
        const std::uint8_t b = byte;
        const auto x = static_cast<std::uint8_t>(k ^ b);
        byte = x;
        k = static_cast<std::uint8_t>(static_cast<std::uint8_t>(k + b) ^ x);
    }
}

void SendBlock(LinkState& link, const FirmwareImage& image) {
    const std::uint16_t offset = link.BlockOffset;
    const std::uint16_t length = link.BlockLength;
    // Three bytes of offset and command beside the block must fit FrameBuffer.
    if (length == 0 || length + 3 > kMaxFrameLengthField)
        return;

    auto& b = link.FrameBuffer;
    const auto lengthField = static_cast<std::uint16_t>(length + 3);
    b[0] = kSyncByte;
    b[1] = kSyncByte;
    b[2] = static_cast<std::uint8_t>(lengthField >> 8);
    b[3] = static_cast<std::uint8_t>(lengthField & 0xFF);
    b[4] = command::kBlock;
    b[5] = static_cast<std::uint8_t>(offset >> 8);
    b[6] = static_cast<std::uint8_t>(offset & 0xFF);
    link.ChecksumCount = static_cast<std::uint16_t>(offset + 256);

    // Bytes past the end of the image area read as zero, like the rest of the
    // area beyond the image.
    const std::span<std::uint8_t> block(b.data() + 7, length);
    for (std::size_t j = 0; j < length; ++j) {
        const std::size_t index = std::size_t{offset} + j;
        block[j] = index < image.Data.size() ? image.Data[index] : 0;
    }
    if (link.ProtocolVersion != 0) {
        ScrambleBlock(block, ScrambleStartFor(offset, link.HandshakeKeyByte, link.ProtocolVersion,
                                              link.PositionMask));
    }
    CloseAndSendFrame(link, lengthField);
}

}  // namespace comflash
