// The station window's ports as the settings value "Ports" keeps them: COM
// names and device paths in the order chosen, separated by ";".
#pragma once

#include <string>
#include <vector>

namespace comflash {

inline constexpr char kPortsSetting[] = "Ports";

// Blanks around a name are dropped, empty entries and repeats left out.
std::vector<std::string> SplitPortList(const std::string& text);
// A name holding ";" cannot be kept and is left out.
std::string JoinPortList(const std::vector<std::string>& ports);

// The name of the socket a port stands for on the fixture: for a device
// reached through a USB hub, the /dev/serial/by-path name (found in
// `byPathFolder`) that leads to the same device, whichever adapter is plugged
// in there; otherwise the device path itself. Windows has no such names: the
// device path comes back.
std::string FixtureSocket(const std::string& devicePath,
                          const std::string& byPathFolder = "/dev/serial/by-path");

}  // namespace comflash
