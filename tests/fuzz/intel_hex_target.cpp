// Firmware files come from other tools and other hands: the Intel HEX reader
// either gives an image no longer than an image may be, or refuses with a
// message that names the line. An image it accepts, written out again as
// plain records, reads back byte for byte.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_targets.h"
#include "image/firmware_file.h"
#include "protocol/firmware_image.h"

namespace comflash::fuzz {
namespace {

constexpr std::size_t kBytesPerRecord = 16;

void AppendRecord(std::string& text, std::uint8_t type, std::uint16_t address,
                  const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::vector<std::uint8_t> record = {static_cast<std::uint8_t>(count),
                                        static_cast<std::uint8_t>(address >> 8),
                                        static_cast<std::uint8_t>(address & 0xFF), type};
    record.insert(record.end(), bytes, bytes + count);
    unsigned sum = 0;
    for (std::uint8_t b : record)
        sum += b;
    record.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    text += ':';
    for (std::uint8_t b : record) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    text += '\n';
}

// The image from address 0, in records of 16 bytes, without address records:
// an image never reaches past 64 KiB.
std::string WriteIntelHex(const std::vector<std::uint8_t>& image) {
    std::string text;
    for (std::size_t at = 0; at < image.size(); at += kBytesPerRecord) {
        const std::size_t count = std::min(kBytesPerRecord, image.size() - at);
        AppendRecord(text, 0x00, static_cast<std::uint16_t>(at), image.data() + at, count);
    }
    AppendRecord(text, 0x01, 0, nullptr, 0);
    return text;
}

bool NamesItsLine(std::string_view message) {
    if (!message.starts_with("line "))
        return false;
    message.remove_prefix(5);
    std::size_t digits = 0;
    while (digits < message.size() && message[digits] >= '0' && message[digits] <= '9')
        ++digits;
    return digits > 0 && message.substr(digits).starts_with(": ");
}

}  // namespace

int FuzzIntelHex(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> image;
    try {
        image = ParseIntelHex(text);
    } catch (const FirmwareFileError& e) {
        Require(NamesItsLine(e.what()),
                "a HEX error starts with \"line N: \": " + std::string(e.what()));
        return 0;
    }
    Require(image.size() <= kMaxImageLength, "a HEX image is at most kMaxImageLength bytes");
    if (image.empty())
        return 0;
    Require(ParseIntelHex(WriteIntelHex(image)) == image,
            "an accepted HEX image written out again reads back the same");
    return 0;
}

}  // namespace comflash::fuzz
