// The image text travels inside the program, but a build may embed any file:
// whatever the text holds, the loader gives either a whole image whose text
// re-encodes and decodes to the same bytes, or no image at all, and bytes
// outside the text range never change the outcome.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_targets.h"
#include "image/enhex.h"
#include "image/image_loader.h"
#include "image/image_source.h"
#include "image/image_text_format.h"

namespace comflash::fuzz {
namespace {

constexpr std::size_t kRoundTripLimit = 1024;

bool IsTextByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= kFirstTextByte && b <= kLastTextByte;
}

// One memcmp instead of a loop: the fuzzer traces every comparison in a loop.
bool ZeroBeyondLength(const FirmwareImage& image) {
    static const std::array<std::uint8_t, kImageAreaSize> zeros{};
    return std::memcmp(image.Data.data() + image.Length, zeros.data(),
                       image.Data.size() - image.Length) == 0;
}

std::vector<std::uint8_t> ImageBytes(const FirmwareImage& image) {
    return {image.Data.begin(), image.Data.begin() + image.Length};
}

void CheckDecodesTo(std::string_view text, const std::vector<std::uint8_t>& bytes,
                    std::uint16_t key) {
    std::vector<std::uint8_t> decoded = DecodeImageText(text, key);
    Require(decoded.size() == bytes.size() + kImageCrcSize,
            "an encoded image decodes to its bytes and the CRC");
    decoded.resize(bytes.size());
    Require(decoded == bytes, "an encoded image decodes to the same bytes");
}

void CheckRoundTrip(const std::vector<std::uint8_t>& bytes, std::uint16_t key) {
    CheckDecodesTo(EncodeImageText(bytes, key), bytes, key);
}

// A successful decode re-encodes to a text that decodes to the same bytes.
void CheckDecode(std::string_view text, std::uint16_t key) {
    const std::vector<std::uint8_t> decoded = DecodeImageText(text, key);
    if (decoded.empty())
        return;
    Require(decoded.size() >= kMinImageLength + kImageCrcSize,
            "a decoded text holds at least the shortest image and its CRC");
    const std::vector<std::uint8_t> bytes(decoded.begin(), decoded.end() - kImageCrcSize);
    if (bytes.size() <= kMaxImageLength)
        CheckRoundTrip(bytes, key);
}

void CheckLoad(const std::string& content) {
    auto image = std::make_unique<FirmwareImage>();
    const ImageLoadResult result = LoadEmbeddedImage(MemoryImageSource(content), *image);

    Require(ZeroBeyondLength(*image), "the image area is zero beyond the image");
    if (result != ImageLoadResult::Loaded) {
        Require(image->Length == 0, "a text that is not an image leaves the image empty");
    } else {
        Require(image->Length >= kMinImageLength && image->Length <= kMaxImageLength,
                "a loaded image is of a length the controller can write");
        const std::vector<std::uint8_t> bytes = ImageBytes(*image);
        const std::string text = EncodeImageText(bytes, kImageTextKey);
        CheckDecodesTo(text, bytes, kImageTextKey);

        auto reloaded = std::make_unique<FirmwareImage>();
        LoadEmbeddedImage(MemoryImageSource(text), *reloaded);
        Require(ImageBytes(*reloaded) == bytes, "a re-encoded image loads as the same image");
    }

    // Line breaks and other bytes outside the text range do not count, as
    // long as the whole content lies within the read limit.
    if (content.size() > kImageTextReadLimit)
        return;
    std::string filtered;
    std::copy_if(content.begin(), content.end(), std::back_inserter(filtered), IsTextByte);
    if (filtered.size() == content.size())
        return;
    auto plain = std::make_unique<FirmwareImage>();
    const ImageLoadResult plainResult = LoadEmbeddedImage(MemoryImageSource(filtered), *plain);
    Require(plainResult == result && ImageBytes(*plain) == ImageBytes(*image),
            "bytes outside the text range never change what loads");
}

}  // namespace

int FuzzImageText(const std::uint8_t* data, std::size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    CheckLoad(content);
    // The input taken as an image: every image the packer may embed comes
    // back whole. A kilobyte already reaches all three zones of the text;
    // longer inputs would only slow the search down.
    if (size >= kMinImageLength && size <= kRoundTripLimit)
        CheckRoundTrip({data, data + size}, kImageTextKey);
    // The same text under another key, taken from its first two bytes.
    if (size >= 2)
        CheckDecode(content, static_cast<std::uint16_t>(data[0] << 8 | data[1]));
    return 0;
}

}  // namespace comflash::fuzz
