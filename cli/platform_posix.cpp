// Serial devices on Linux: sysfs tells which tty devices have hardware behind
// them and, for USB adapters, their ids; /dev/serial/by-id gives stable names.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings_folder.h"
#include "cli/platform.h"
#include "serial/adapter_identity.h"
#include "serial/port_map.h"
#include "serial/port_order.h"

namespace comflash::cli {
namespace {

namespace fs = std::filesystem;

struct SerialDevice {
    std::string path;
    std::string usbId;
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

// The USB ids, serial number and description of an adapter; nothing for a
// built-in UART.
void AddUsbDetails(SerialDevice& device) {
    const AdapterIdentity adapter = IdentifyAdapter(device.path);
    if (adapter.usbId.empty())
        return;
    device.usbId = adapter.usbId;
    device.serialNumber = adapter.serialNumber;
    device.description = adapter.description;
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
        AddUsbDetails(device);
        devices.push_back(device);
    }
    // The directory lists ttyUSB10 before ttyUSB2.
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return PortNameLess(a.path, b.path);
    });
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        const std::string target = fs::canonical(entry.path(), error).string();
        for (auto& device : devices) {
            if (device.path == target)
                device.aliases.push_back(entry.path().string());
        }
    }
    for (auto& device : devices)
        std::sort(device.aliases.begin(), device.aliases.end(), PortNameLess);
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
        if (!device.usbId.empty())
            out << "  usb " << device.usbId;
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
