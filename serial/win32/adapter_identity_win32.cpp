// What Windows says of the adapter behind a COM port, from the device
// properties the system keeps for every port it knows (SetupAPI): the name
// it shows in the Device Manager, where the adapter is plugged in, and for a
// USB adapter its vendor and product ids and its own serial number. A port
// the system keeps no device for (a port mapped by an emulator) stays
// unknown.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "serial/adapter_identity.h"

namespace comflash {
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// "COM3" from "\\.\COM3" or "COM3".
std::string PortNameOf(const std::string& devicePath) {
    const std::size_t slash = devicePath.find_last_of('\\');
    return Upper(slash == std::string::npos ? devicePath : devicePath.substr(slash + 1));
}

std::string Property(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    char text[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text), sizeof text - 1,
                                           nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    return text;  // the first string of a list
}

std::string PortNameOfDevice(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    char name[64] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    const bool read = RegQueryValueExA(key, "PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    return read ? Upper(name) : std::string();
}

// "USB\VID_0403&PID_6001\A50285BI": the ids, and the serial number where the
// last part is one (an adapter without one gets a made-up part with '&').
void ReadUsbIds(HDEVINFO devices, SP_DEVINFO_DATA& device, AdapterIdentity& adapter) {
    char id[512] = {};
    if (!SetupDiGetDeviceInstanceIdA(devices, &device, id, sizeof id - 1, nullptr))
        return;
    const std::string instance = Upper(id);
    const std::size_t vid = instance.find("VID_");
    const std::size_t pid = instance.find("PID_");
    if (instance.rfind("USB\\", 0) != 0 || vid == std::string::npos || pid == std::string::npos)
        return;
    adapter.usbId = instance.substr(vid + 4, 4) + ":" + instance.substr(pid + 4, 4);
    const std::string last = instance.substr(instance.find_last_of('\\') + 1);
    if (last.find('&') == std::string::npos)
        adapter.serialNumber = std::string(id).substr(instance.find_last_of('\\') + 1);
}

}  // namespace

AdapterIdentity IdentifyAdapter(const std::string& devicePath) {
    AdapterIdentity adapter;
    const std::string port = PortNameOf(devicePath);
    HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return adapter;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        if (PortNameOfDevice(devices, device) != port)
            continue;
        adapter.description = Property(devices, device, SPDRP_FRIENDLYNAME);
        if (adapter.description.empty())
            adapter.description = Property(devices, device, SPDRP_DEVICEDESC);
        adapter.location = Property(devices, device, SPDRP_LOCATION_INFORMATION);
        ReadUsbIds(devices, device, adapter);
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return adapter;
}

}  // namespace comflash
