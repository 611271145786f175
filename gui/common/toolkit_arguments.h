// What the two Qt windows' command lines share: the toolkit's own options
// (-platform offscreen, -style Fusion) are passed over before ours are read.
#pragma once

#include <string>
#include <vector>

namespace comflash {

// The arguments that are ours. Those with one dash are the toolkit's and are
// left out, with the value of those that take one.
std::vector<std::string> OwnArguments(const std::vector<std::string>& arguments);

// The end of --help in the Qt windows.
inline constexpr const char* kToolkitOptionsNote =
    "Options with one dash are Qt's, for example -platform offscreen.";

}  // namespace comflash
