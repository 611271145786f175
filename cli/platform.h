// The few things comflash-cli asks of the operating system directly.
#pragma once

#include <ostream>

namespace comflash::cli {

bool StandardOutputIsTerminal();

// The serial devices present, with what is known of them, and the COM names
// that lead to each.
void ListPorts(std::ostream& out);

}  // namespace comflash::cli
