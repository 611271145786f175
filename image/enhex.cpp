#include "image/enhex.h"

#include "image/image_text_format.h"
#include "protocol/crc16.h"
#include "protocol/firmware_image.h"

namespace comflash {
namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

// The state behind the third zone. Both directions feed it the enciphered
// byte, so the encoder and the decoder walk the same sequence.
class KeyStream {
public:
    KeyStream(std::uint16_t key, std::size_t outerLength) {
        // Only the low 16 bits of the length take part, high byte first.
        const auto length = static_cast<std::uint16_t>(outerLength);
        state_ = Crc16Step(key, static_cast<std::uint8_t>(length >> 8));
        state_ = Crc16Step(state_, static_cast<std::uint8_t>(length & 0xFF));
    }

    std::uint8_t Mask() const { return static_cast<std::uint8_t>(state_ >> 8); }

    void Advance(std::uint8_t enciphered) {
        // A byte that passed through unmasked is not mixed into the state.
        const std::uint32_t mixed = enciphered == Mask() ? state_ : state_ + enciphered;
        state_ = static_cast<std::uint16_t>(mixed * kKeyStreamMultiplier + kKeyStreamIncrement);
    }

private:
    std::uint16_t state_ = 0;
};

// A byte equal to the mask stays as it is. That makes masking its own inverse
// only while no plain byte is 0, which no hex digit of the inner text is.
std::uint8_t ApplyMask(std::uint8_t byte, std::uint8_t mask) {
    return byte == mask ? byte : static_cast<std::uint8_t>(byte ^ mask);
}

bool IsOdd(std::size_t position) {
    return position % 2 == 1;
}

std::uint8_t DecipherByte(std::uint8_t e, std::size_t position, KeyStream& stream) {
    if (position <= kShiftZoneEnd) {
        return static_cast<std::uint8_t>(IsOdd(position) ? e - kOddPositionShift
                                                         : e + kEvenPositionShift);
    }
    if (position <= kComplementZoneEnd)
        return static_cast<std::uint8_t>(~e);
    const std::uint8_t plain = ApplyMask(e, stream.Mask());
    stream.Advance(e);
    return plain;
}

std::uint8_t EncipherByte(std::uint8_t plain, std::size_t position, KeyStream& stream) {
    if (position <= kShiftZoneEnd) {
        return static_cast<std::uint8_t>(IsOdd(position) ? plain + kOddPositionShift
                                                         : plain - kEvenPositionShift);
    }
    if (position <= kComplementZoneEnd)
        return static_cast<std::uint8_t>(~plain);
    const std::uint8_t e = ApplyMask(plain, stream.Mask());
    stream.Advance(e);
    return e;
}

bool IsUppercaseHexDigit(char c) {
    return kHexDigits.find(c) != std::string_view::npos;
}

}  // namespace

std::uint8_t HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    return 0;
}

std::vector<std::uint8_t> HexPairsToBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        bytes[k] = static_cast<std::uint8_t>(HexDigitValue(text[2 * k]) * 16 +
                                             HexDigitValue(text[2 * k + 1]));
    }
    return bytes;
}

std::string BytesToHexPairs(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kHexDigits[b >> 4];
        text += kHexDigits[b & 0x0F];
    }
    return text;
}

std::string UnscrambleText(std::string_view outer, std::uint16_t key) {
    KeyStream stream(key, outer.size());
    const std::vector<std::uint8_t> enciphered = HexPairsToBytes(outer);
    std::string inner(enciphered.size(), '\0');
    for (std::size_t i = 0; i < enciphered.size(); ++i) {
        inner[i] = static_cast<char>(DecipherByte(enciphered[i], i + 1, stream));
    }
    return inner;
}

std::string ScrambleText(std::string_view inner, std::uint16_t key) {
    for (char c : inner) {
        if (!IsUppercaseHexDigit(c)) {
            throw std::invalid_argument(
                "inner image text holds a character that is not an "
                "uppercase hex digit");
        }
    }
    // The decoder seeds its stream from the outer length: two digits per inner character.
    KeyStream stream(key, 2 * inner.size());
    std::vector<std::uint8_t> enciphered(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        enciphered[i] = EncipherByte(static_cast<std::uint8_t>(inner[i]), i + 1, stream);
    }
    return BytesToHexPairs(enciphered);
}

std::uint16_t ImageTextCrc(std::span<const std::uint8_t> image) {
    return Crc16Ccitt(image, kImageCrcSeed);
}

std::vector<std::uint8_t> DecodeImageText(std::string_view outer, std::uint16_t key) {
    std::vector<std::uint8_t> decoded = HexPairsToBytes(UnscrambleText(outer, key));
    if (decoded.size() < kMinImageLength + kImageCrcSize)
        return {};
    const std::size_t imageLength = decoded.size() - kImageCrcSize;
    const std::uint16_t crc = ImageTextCrc(std::span(decoded).first(imageLength));
    if (decoded[imageLength] != (crc >> 8) || decoded[imageLength + 1] != (crc & 0xFF))
        return {};
    return decoded;
}

std::string EncodeImageText(std::span<const std::uint8_t> image, std::uint16_t key) {
    if (image.size() < kMinImageLength || image.size() > kMaxImageLength) {
        const std::size_t n = image.size();
        throw ImageLengthError("the image has " + std::to_string(n) +
                               (n == 1 ? " byte" : " bytes") + "; an image holds " +
                               std::to_string(kMinImageLength) + " to " +
                               std::to_string(kMaxImageLength) + " bytes");
    }
    std::vector<std::uint8_t> decoded(image.begin(), image.end());
    const std::uint16_t crc = ImageTextCrc(image);
    decoded.push_back(static_cast<std::uint8_t>(crc >> 8));
    decoded.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return ScrambleText(BytesToHexPairs(decoded), key);
}

}  // namespace comflash
