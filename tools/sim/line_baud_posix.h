// The integer line speed of a terminal, standard or not.
#pragma once

#include <optional>

namespace comflash::sim {

// The output speed set on the terminal of fd; on a pseudo-terminal master,
// the speed the host set on its end. Nothing when fd is no terminal.
std::optional<int> ReadLineBaud(int fd);

}  // namespace comflash::sim
