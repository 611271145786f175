#include "app/station_ports.h"

namespace comflash {

// Windows keeps no names by the place of a port.
std::string FixtureSocket(const std::string& devicePath, const std::string& /*byPathFolder*/) {
    return devicePath;
}

}  // namespace comflash
