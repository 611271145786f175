// What the spool reads the same way on every platform.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "line/spool_file.h"

namespace comflash::line {

namespace fs = std::filesystem;

std::string ReadIfPresent(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::error_code error;
        if (!fs::exists(file, error))
            return {};
        throw std::runtime_error("cannot read " + file.string());
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw std::runtime_error("cannot read " + file.string());
    return content.str();
}

}  // namespace comflash::line
