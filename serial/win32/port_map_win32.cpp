// Port names on Windows go through the device namespace, which is the only
// form that opens COM10 and above.
#include "serial/port_map.h"

namespace comflash {

// The system knows its COM ports; every name goes through the device
// namespace and the system says whether it is there.
ResolvedPort ResolvePort(std::string_view name, const std::filesystem::path& /*portMap*/) {
    return {"\\\\.\\" + std::string(name), PortRoute::DefaultPath};
}

}  // namespace comflash
