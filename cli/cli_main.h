#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace comflash::cli {

// The whole of comflash-cli; returns its exit status.
int RunCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace comflash::cli
