// Windows keeps no names by the place of a port; what stands for the socket
// of the fixture is the adapter the system shows under the port's name: its
// description and where it is plugged in.
#include "app/station_ports.h"
#include "serial/adapter_identity.h"

namespace comflash {

std::string FixtureSocket(const std::string& devicePath, const std::string& /*byPathFolder*/) {
    const AdapterIdentity adapter = IdentifyAdapter(devicePath);
    if (adapter.description.empty() && adapter.location.empty()) {
        // The port's own name: nothing more to show than the tile does.
        const std::size_t slash = devicePath.find_last_of('\\');
        return slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
    }
    if (adapter.location.empty())
        return adapter.description;
    return adapter.description.empty() ? adapter.location
                                       : adapter.description + ", " + adapter.location;
}

}  // namespace comflash
