// What the operator is told when a lost port opens again: which adapter is
// back, and whether it is the one that went away. On a bench with several
// adapters another one can take the lost one's name, and the devices then
// served are on another line of the fixture.
#pragma once

#include <string>

#include "serial/adapter_identity.h"

namespace comflash {

// One line, starting "the port is back". `lost` is the adapter the port had
// when it stopped working, `back` the one it has now (see IdentifyAdapter).
std::string PortBackText(const AdapterIdentity& lost, const AdapterIdentity& back);

// The adapter in a few words: "0403:6001 QEMU USB SERIAL, serial CF0001".
std::string AdapterText(const AdapterIdentity& adapter);

}  // namespace comflash
