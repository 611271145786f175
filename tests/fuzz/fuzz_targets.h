// The fuzz targets' entry functions. Each takes one input of any content and
// checks a property of the code it drives; a property that does not hold
// raises PropertyViolation, which libFuzzer reports as a crash and the replay
// test as a failure naming the input file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace comflash::fuzz {

class PropertyViolation : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

inline void Require(bool holds, const std::string& property) {
    if (!holds)
        throw PropertyViolation(property);
}

// Chunks, ticks, boxes and buttons driven into an UpdateSession.
int FuzzReceivePath(const std::uint8_t* data, std::size_t size);
// The image text decoder and the loader's filtering.
int FuzzImageText(const std::uint8_t* data, std::size_t size);
// The packer's Intel HEX reader.
int FuzzIntelHex(const std::uint8_t* data, std::size_t size);
// The settings-file reader and writer.
int FuzzSettingsText(const std::uint8_t* data, std::size_t size);

}  // namespace comflash::fuzz
