// Where the loader finds the image text. The text linked into the program,
// a text file named on a command line and a test fixture all reach the
// loader through this one interface.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace comflash {

class ImageSource {
public:
    virtual ~ImageSource() = default;

    // The first `limit` bytes (or fewer) of the resource `name` of type
    // `type`; nullopt when there is no such resource. Names and types match
    // without regard to case, as executable resources do.
    virtual std::optional<std::string> Read(std::string_view name, std::string_view type,
                                            std::size_t limit) const = 0;
};

// Resource names and types compare without regard to ASCII case.
bool SameResourceId(std::string_view a, std::string_view b);

// One resource held in memory; by default it is the image resource itself.
class MemoryImageSource : public ImageSource {
public:
    explicit MemoryImageSource(std::string content);
    MemoryImageSource(std::string name, std::string type, std::string content);

    std::optional<std::string> Read(std::string_view name, std::string_view type,
                                    std::size_t limit) const override;

private:
    std::string name_;
    std::string type_;
    std::string content_;
};

// Raised when a text file that stands for the image resource cannot be read.
class ImageSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text file that stands for the image resource, whatever name and type are
// asked for: the file was named on purpose, so a missing file is an error
// naming its path (ImageSourceError), not a missing resource.
class FileImageSource : public ImageSource {
public:
    explicit FileImageSource(std::filesystem::path path);

    std::optional<std::string> Read(std::string_view name, std::string_view type,
                                    std::size_t limit) const override;

private:
    std::filesystem::path path_;
};

}  // namespace comflash
