#include "tools/pack/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

namespace comflash::pack {
namespace {

std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    std::random_device random;
    std::filesystem::path temporary = path;
    temporary += ".tmp-" + std::to_string(random());
    return temporary;
}

WriteError CannotWrite(const std::filesystem::path& path, const std::error_code& error) {
    return WriteError("cannot write '" + path.string() + "': " + error.message());
}

std::error_code LastError(int fallback) {
    return {errno ? errno : fallback, std::generic_category()};
}

}  // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::span<const char> bytes) {
    const std::filesystem::path temporary = TemporaryBeside(path);
    errno = 0;
    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (!file)
        throw CannotWrite(path, LastError(EIO));

    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::error_code error = written ? std::error_code{} : LastError(EIO);
    if (std::fclose(file) != 0 && !error)
        error = LastError(EIO);
    if (!error)
        std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw CannotWrite(path, error);
    }
}

}  // namespace comflash::pack
