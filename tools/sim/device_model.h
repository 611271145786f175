// The memory and the answers of one simulated device: what it stores and
// what it replies to each request, apart from when and how the reply leaves.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "tools/sim/device_report.h"

namespace comflash::sim {

inline constexpr std::size_t kFlashSize = 65536;
// Covers the identity read (up to 0x043F) and the serial-number record.
inline constexpr std::size_t kEepromSize = 0x0800;
inline constexpr std::uint16_t kDeviceLabelAddress = 0x01E0;

enum class RequestKind {
    Handshake,
    Identity,
    EepromInit,
    SerialRecord,
    EepromWrite,
    Block,
    Checksum,
    Finish,
    Other,
};

struct Request {
    RequestKind kind = RequestKind::Other;
    std::uint16_t address = 0;  // block offset, EEPROM or read address
};

Request ClassifyRequest(std::uint8_t command, std::span<const std::uint8_t> payload);

// What a device keeps while it is off: a device that comes back is the same
// device with the same memory.
struct DeviceMemory {
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
};

class SimDevice {
public:
    SimDevice(unsigned number, std::uint8_t version, DeviceSteps& steps);

    // The memory of a device that was here before.
    void Restore(const DeviceMemory& memory);
    DeviceMemory Memory() const;
    // A serial-number record from the start, as a device provisioned before holds it.
    void HoldSerialNumber(std::string_view number);

    // Takes the key byte of a handshake reply: the last one received counts.
    void TakeHandshake(std::span<const std::uint8_t> payload);

    // The reply frame to a request (a whole frame, sync pair to check), or
    // nothing when the request gets none. `refuse` turns the answer into the
    // device's fault for that request: status 0, or a wrong checksum.
    std::optional<std::vector<std::uint8_t>> Answer(std::span<const std::uint8_t> frame,
                                                    bool refuse);

    std::span<const std::uint8_t> Flash() const { return flash_; }
    std::span<const std::uint8_t> Eeprom() const { return eeprom_; }

private:
    void HeldRecordFromMemory();
    std::vector<std::uint8_t> ReadIdentity(std::span<const std::uint8_t> payload) const;
    std::uint8_t WriteEeprom(std::uint16_t address, std::span<const std::uint8_t> data,
                             bool refuse);
    std::uint8_t WriteBlock(std::uint16_t offset, std::span<const std::uint8_t> frame, bool refuse);
    std::uint16_t Checksum(std::uint16_t address, std::uint16_t count, bool wrong);

    std::uint8_t version_;
    std::uint8_t keyByte_ = 0;
    DeviceSteps& steps_;
    std::array<std::uint8_t, kFlashSize> flash_;
    std::array<std::uint8_t, kEepromSize> eeprom_;
};

}  // namespace comflash::sim
