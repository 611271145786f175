#include <unistd.h>

#include <climits>

#include "line/line_options.h"

namespace comflash::line {

std::string DefaultStationName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "station";
    return name;
}

}  // namespace comflash::line
