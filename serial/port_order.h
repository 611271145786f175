// The order in which port names are shown to the operator.
#pragma once

#include <string_view>

namespace comflash {

// Natural order: runs of digits compare by their value, so COM2 comes before
// COM10 and /dev/ttyUSB2 before /dev/ttyUSB10; everything else compares
// byte by byte.
bool PortNameLess(std::string_view a, std::string_view b);

}  // namespace comflash
