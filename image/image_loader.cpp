#include "image/image_loader.h"

#include <algorithm>
#include <vector>

#include "image/enhex.h"
#include "image/image_text_format.h"

namespace comflash {
namespace {

// Line breaks and other bytes outside the text range may stand anywhere,
// even inside a digit pair, and do not count as characters.
std::string FilterImageText(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= kFirstTextByte && b <= kLastTextByte)
            text += c;
    }
    return text;
}

}  // namespace

EResNotFound::EResNotFound(std::string_view name)
    : std::runtime_error("Resource " + std::string(name) + " not found") {}

ImageLoadResult LoadEmbeddedImage(const ImageSource& source, FirmwareImage& image) {
    image.Data.fill(0);
    image.Length = 0;

    std::optional<std::string> resource =
        source.Read(kImageResourceName, kImageResourceType, kImageTextReadLimit);
    if (!resource)
        throw EResNotFound(kImageResourceName);
    // The limit holds even for a source that returns more than asked.
    const std::string_view raw = std::string_view(*resource).substr(0, kImageTextReadLimit);

    const std::vector<std::uint8_t> decoded = DecodeImageText(FilterImageText(raw), kImageTextKey);
    if (decoded.empty())
        return ImageLoadResult::NotAnImage;

    // A longer image would wrap Length and overrun Data, and its last blocks
    // could not be addressed with 16-bit offsets anyway.
    const std::size_t length = decoded.size() - kImageCrcSize;
    if (length > kMaxImageLength)
        return ImageLoadResult::TooLong;

    std::copy_n(decoded.begin(), length, image.Data.begin());
    image.Length = static_cast<std::uint16_t>(length);
    return ImageLoadResult::Loaded;
}

}  // namespace comflash
