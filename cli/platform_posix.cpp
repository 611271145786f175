// Serial devices on Linux: sysfs tells which tty devices have hardware behind
// them and, for USB adapters, their ids; /dev/serial/by-id gives stable names.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings_folder.h"
#include "cli/platform.h"
#include "serial/port_map.h"

namespace comflash::cli {
namespace {

namespace fs = std::filesystem;

struct SerialDevice {
    std::string path;
    std::string vendorId;
    std::string productId;
    std::string serialNumber;
    std::string description;
    std::vector<std::string> aliases;  // /dev/serial/by-id names
    std::vector<std::string> comNames;
};

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Walks up from the tty's device to the USB device that carries the ids.
void AddUsbDetails(const fs::path& ttyDevice, SerialDevice& device) {
    std::error_code error;
    fs::path at = fs::canonical(ttyDevice, error);
    for (; !error && !at.empty() && at != at.root_path(); at = at.parent_path()) {
        if (!fs::exists(at / "idVendor"))
            continue;
        device.vendorId = ReadFirstLine(at / "idVendor");
        device.productId = ReadFirstLine(at / "idProduct");
        device.serialNumber = ReadFirstLine(at / "serial");
        const std::string maker = ReadFirstLine(at / "manufacturer");
        const std::string product = ReadFirstLine(at / "product");
        device.description = maker.empty() ? product : maker + " " + product;
        return;
    }
}

// Built-in UARTs are listed by the kernel whether or not they exist; a port
// type of 0 means nothing is there.
bool HasHardware(const fs::path& ttyClass) {
    if (!fs::exists(ttyClass / "device"))
        return false;
    const std::string type = ReadFirstLine(ttyClass / "type");
    return type.empty() || type != "0";
}

std::vector<SerialDevice> FindSerialDevices() {
    std::vector<SerialDevice> devices;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
        if (!HasHardware(entry.path()))
            continue;
        SerialDevice device;
        device.path = "/dev/" + entry.path().filename().string();
        AddUsbDetails(entry.path() / "device", device);
        devices.push_back(device);
    }
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        const std::string target = fs::canonical(entry.path(), error).string();
        for (auto& device : devices) {
            if (device.path == target)
                device.aliases.push_back(entry.path().string());
        }
    }
    for (int n = 1; n <= 32; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string target =
            fs::weakly_canonical(ResolvePortName(name, PortMapFile()), error).string();
        for (auto& device : devices) {
            if (device.path == target)
                device.comNames.push_back(name);
        }
    }
    return devices;
}

}  // namespace

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void ListPorts(std::ostream& out) {
    const std::vector<SerialDevice> devices = FindSerialDevices();
    if (devices.empty())
        out << "no serial devices found\n";
    for (const auto& device : devices) {
        out << device.path;
        if (!device.vendorId.empty())
            out << "  usb " << device.vendorId << ":" << device.productId;
        if (!device.serialNumber.empty())
            out << "  serial " << device.serialNumber;
        if (!device.description.empty())
            out << "  " << device.description;
        out << "\n";
        for (const auto& alias : device.aliases)
            out << "    " << alias << "\n";
        if (!device.comNames.empty()) {
            out << "    opened as";
            for (const auto& name : device.comNames)
                out << " " << name;
            out << "\n";
        }
    }
    out << "port map: " << PortMapFile().string() << " (lines such as COM3=/dev/ttyUSB0)\n";
}

}  // namespace comflash::cli
