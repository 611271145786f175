// The --version text of every program: its name and the tool's version, and
// for the programs that carry the image, what identifies the built-in image.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "image/image_info.h"

namespace comflash {

// First line "PROGRAM VERSION"; then, with an image, "built-in image:" and its
// facts indented below; an empty optional says the program carries an image
// that does not load (the text says so).
std::string VersionText(std::string_view program);
std::string VersionText(std::string_view program, const std::optional<ImageInfo>& builtIn);

}  // namespace comflash
