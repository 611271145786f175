// Windows names COM ports itself and keeps the name with the adapter it was
// first given to (by USB serial number, or by the socket for adapters without
// one), so a port that comes back is that adapter. Nothing is looked up here:
// the identity stays unknown, and the messages say so.
#include "serial/adapter_identity.h"

namespace comflash {

AdapterIdentity IdentifyAdapter(const std::string& /*devicePath*/) {
    return {};
}

}  // namespace comflash
