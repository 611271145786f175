#include "app/port_return.h"

namespace comflash {
namespace {

enum class Sameness { Same, Other, Unknown };

// A serial number tells adapters apart; without one, only the same ids in
// the same socket make it likely that the same adapter is back.
Sameness Compare(const AdapterIdentity& lost, const AdapterIdentity& back) {
    if (!lost.Known() || !back.Known())
        return Sameness::Unknown;
    if (lost.usbId != back.usbId || lost.serialNumber != back.serialNumber)
        return Sameness::Other;
    if (!lost.serialNumber.empty())
        return Sameness::Same;
    return lost.location == back.location ? Sameness::Unknown : Sameness::Other;
}

}  // namespace

std::string AdapterText(const AdapterIdentity& adapter) {
    if (adapter.usbId.empty())
        return adapter.location.empty() ? "an adapter the system does not name" : adapter.location;
    std::string text = adapter.usbId;
    if (!adapter.description.empty())
        text += " " + adapter.description;
    if (!adapter.serialNumber.empty())
        text += ", serial " + adapter.serialNumber;
    else
        text += ", no serial number, at " + adapter.location;
    return text;
}

std::string PortBackText(const AdapterIdentity& lost, const AdapterIdentity& back) {
    if (!back.Known())
        return "the port is back (the system does not say which adapter it is)";
    switch (Compare(lost, back)) {
        case Sameness::Same:
            return "the port is back: the same adapter (" + AdapterText(back) + ")";
        case Sameness::Other:
            return "the port is back, but with another adapter: " + AdapterText(back) +
                   " instead of " + AdapterText(lost) +
                   "; the devices served now are the ones on that adapter: check the fixture "
                   "before going on";
        case Sameness::Unknown:
            break;
    }
    return "the port is back: " + AdapterText(back) +
           (lost.Known() ? " (it has no serial number, so it may not be the same adapter)" : "");
}

}  // namespace comflash
