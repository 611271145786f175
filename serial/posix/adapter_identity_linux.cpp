// Linux keeps a record of every tty device in sysfs: the tty's device link
// leads to the USB interface of an adapter, whose parent holds its ids and
// serial number, or to the platform or PNP device of a built-in UART.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/adapter_identity.h"

namespace comflash {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

AdapterIdentity IdentifyAdapter(const std::string& devicePath) {
    AdapterIdentity identity;
    std::error_code error;
    const fs::path node = fs::canonical(devicePath, error);
    if (error)
        return identity;
    fs::path at = fs::canonical(fs::path("/sys/class/tty") / node.filename() / "device", error);
    if (error)
        return identity;
    const std::string device = at.filename().string();
    for (; !at.empty() && at != at.root_path(); at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error))
            continue;
        identity.usbId = FirstLine(at / "idVendor") + ":" + FirstLine(at / "idProduct");
        identity.serialNumber = FirstLine(at / "serial");
        const std::string maker = FirstLine(at / "manufacturer");
        const std::string product = FirstLine(at / "product");
        identity.description =
            maker.empty() || product.rfind(maker, 0) == 0 ? product : maker + " " + product;
        identity.location = "USB " + at.filename().string();
        return identity;
    }
    // A built-in UART: its device names the slot it sits in.
    identity.location = "built-in UART " + device;
    return identity;
}

}  // namespace comflash
