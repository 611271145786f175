#include <windows.h>

#include "line/line_options.h"

namespace comflash::line {

std::string DefaultStationName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size) || size == 0)
        return "station";
    return std::string(name, size);
}

}  // namespace comflash::line
