#include "image/firmware_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#include "protocol/firmware_image.h"

namespace comflash {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ReadCapped(const std::filesystem::path& path) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "rb"));
    const auto cannotRead = [&](int error) {
        return FirmwareFileError("cannot read firmware file '" + path.string() +
                                 "': " + std::generic_category().message(error));
    };
    if (!file)
        throw cannotRead(errno ? errno : ENOENT);
    std::string content;
    char chunk[65536];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        content.append(chunk, got);
        if (content.size() > kMaxFirmwareFileSize) {
            throw FirmwareFileError(path.string() + ": larger than " +
                                    std::to_string(kMaxFirmwareFileSize / (1024 * 1024)) +
                                    " MiB, too large for a firmware file");
        }
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get()))
        throw cannotRead(errno ? errno : EIO);
    return content;
}

bool HasHexName(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::ranges::transform(ext, ext.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return ext == ".hex" || ext == ".ihx";
}

// A binary image that happens to start with ':' still holds bytes no text has.
bool LooksLikeIntelHex(std::string_view content) {
    const auto first = std::ranges::find_if_not(content, IsBlank);
    if (first == content.end() || *first != ':')
        return false;
    return std::ranges::all_of(content, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b >= 0x20 && b < 0x7F) || c == '\n' || IsBlank(c);
    });
}

}  // namespace

std::vector<std::uint8_t> ReadFirmwareFile(const std::filesystem::path& path) {
    const std::string content = ReadCapped(path);
    if (HasHexName(path) || LooksLikeIntelHex(content)) {
        try {
            return ParseIntelHex(content);
        } catch (const FirmwareFileError& e) {
            throw FirmwareFileError(path.string() + ": " + e.what());
        }
    }
    if (content.size() > kMaxImageLength) {
        throw FirmwareFileError(path.string() + ": holds " + std::to_string(content.size()) +
                                " bytes, more than the " + std::to_string(kMaxImageLength) +
                                " bytes an image may hold");
    }
    return {content.begin(), content.end()};
}

}  // namespace comflash
