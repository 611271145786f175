// Output files of comflash-pack appear whole or not at all.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>

namespace comflash::pack {

class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so that a failure leaves an existing file untouched and no partial
// file behind. Throws WriteError naming the path.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const char> bytes);

}  // namespace comflash::pack
