#include "image/image_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "image/image_text_format.h"

namespace comflash {
namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string CannotRead(const std::filesystem::path& path, int error) {
    return "cannot read image text file '" + path.string() +
           "': " + std::generic_category().message(error);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool SameResourceId(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

MemoryImageSource::MemoryImageSource(std::string content)
    : MemoryImageSource(std::string(kImageResourceName), std::string(kImageResourceType),
                        std::move(content)) {}

MemoryImageSource::MemoryImageSource(std::string name, std::string type, std::string content)
    : name_(std::move(name)), type_(std::move(type)), content_(std::move(content)) {}

std::optional<std::string> MemoryImageSource::Read(std::string_view name, std::string_view type,
                                                   std::size_t limit) const {
    if (!SameResourceId(name, name_) || !SameResourceId(type, type_))
        return std::nullopt;
    return content_.substr(0, limit);
}

FileImageSource::FileImageSource(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<std::string> FileImageSource::Read(std::string_view, std::string_view,
                                                 std::size_t limit) const {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.string().c_str(), "rb"));
    if (!file)
        throw ImageSourceError(CannotRead(path_, errno ? errno : ENOENT));

    // Read in steps, so that a small file never costs the whole limit in memory.
    std::string content;
    char chunk[65536];
    while (content.size() < limit) {
        const std::size_t want = std::min(sizeof chunk, limit - content.size());
        const std::size_t got = std::fread(chunk, 1, want, file.get());
        content.append(chunk, got);
        if (got < want)
            break;
    }
    if (std::ferror(file.get()))
        throw ImageSourceError(CannotRead(path_, errno ? errno : EIO));
    return content;
}

}  // namespace comflash
