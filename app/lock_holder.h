// Who holds a lock on a file, for telling the operator what a write waits for.
#pragma once

#include <filesystem>
#include <string>

namespace comflash {

// "process 1234 (comflash-cli)" for the process holding a flock on `file`;
// empty when the system cannot tell.
std::string LockHolder(const std::filesystem::path& file);

}  // namespace comflash
