#include <windows.h>

#include <io.h>

#include <cstdio>
#include <string>

#include "cli/platform.h"

namespace comflash::cli {

bool StandardOutputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

// Every COM name the system knows, with the device it stands for.
void ListPorts(std::ostream& out) {
    bool any = false;
    for (int n = 1; n <= 32; ++n) {
        const std::string name = "COM" + std::to_string(n);
        char target[512] = {};
        if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0)
            continue;
        out << name << "  " << target << "\n";
        any = true;
    }
    if (!any)
        out << "no serial devices found\n";
}

}  // namespace comflash::cli
