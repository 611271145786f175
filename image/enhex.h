// The image text codec: the decoder the tool runs at start-up and the
// encoder that comflash-pack runs at build time, each the exact inverse of
// the other.
//
// Layers, from the outside in: the outer text (two hex digits per enciphered
// byte), the enciphered bytes, the inner text (hex digits, one per enciphered
// byte) and the decoded bytes (the image followed by its CRC-16, high byte
// first).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace comflash {

// '0'-'9' and 'A'-'F' give their value; every other character gives 0, so a
// damaged text raises nothing and fails at the CRC instead.
std::uint8_t HexDigitValue(char c);

// One byte for each pair of characters; an odd last character is ignored.
std::vector<std::uint8_t> HexPairsToBytes(std::string_view text);

// Two uppercase hex digits for each byte.
std::string BytesToHexPairs(std::span<const std::uint8_t> bytes);

// Outer text (already filtered) to inner text: one character per pair of
// outer characters. The key stream is seeded from the outer length.
std::string UnscrambleText(std::string_view outer, std::uint16_t key);

// Inner text to outer text (uppercase hex, no line breaks); the inverse of
// UnscrambleText. Throws std::invalid_argument unless the inner text is made
// of uppercase hex digits, since only those are certain to come back intact.
std::string ScrambleText(std::string_view inner, std::uint16_t key);

// The CRC-16 that closes the decoded bytes.
std::uint16_t ImageTextCrc(std::span<const std::uint8_t> image);

// The decoded bytes with their two closing CRC bytes, or an empty result when
// the text is too short or its CRC does not match.
std::vector<std::uint8_t> DecodeImageText(std::string_view outer, std::uint16_t key);

// Raised by EncodeImageText for an image the loader would not accept.
class ImageLengthError : public std::length_error {
public:
    using std::length_error::length_error;
};

// The outer text (uppercase hex, no line breaks) that DecodeImageText turns
// back into the image and its CRC. Images of kMinImageLength to
// kMaxImageLength bytes only; others throw ImageLengthError.
std::string EncodeImageText(std::span<const std::uint8_t> image, std::uint16_t key);

}  // namespace comflash
