// The commands of comflash-pack, callable in-process.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace comflash::pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Characters of image text on each line written by encode.
inline constexpr std::size_t kTextLineWidth = 64;

// Runs one command line (without the program name). Help goes to `out`; every
// error is one line "comflash-pack: ..." on `err`. Returns the exit status.
int Run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace comflash::pack
