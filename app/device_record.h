// The production record of comflash-cli and comflash-station: one JSON line
// per finished device appended to a file (--record), and the line database's
// rows, both fed by the port stations through one interface.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/json_line.h"
#include "app/port_view.h"
#include "protocol/identity_reply.h"

namespace comflash {

struct DeviceRecord {
    std::int64_t finishedAt = 0;  // Unix milliseconds
    std::string port;
    RunResult result = RunResult::Updated;
    std::uint16_t imageCrc = 0;
    std::uint32_t imageLength = 0;  // the line database keeps it; the file does not
    std::int64_t durationMs = 0;
    // Provisioning: the number taken for the device and what became of it.
    std::optional<SettledNumber> serial;
    // The device's own number from its identity reply, when one came.
    std::optional<DeviceSerial> device;
};

// The record of a device that finished on `port` now.
DeviceRecord RecordOf(const std::string& port, const FinishedDevice& device,
                      std::uint32_t imageLength, std::uint16_t imageCrc);

// "device_serial": the number, or null for a device without one (and then
// "device_serial_unknown" with the reason, when its number could not be
// read); nothing when no identity reply came. For the record and --json.
void AddDeviceSerial(JsonObject& object, const std::optional<DeviceSerial>& device);

// Where finished devices are kept. Append raises when the device cannot be
// kept; the run then stops, as for any lost record.
class DeviceRecorder {
public:
    virtual ~DeviceRecorder() = default;
    virtual void Append(const DeviceRecord& record) = 0;
};

class RecordFile final : public DeviceRecorder {
public:
    // Raises std::runtime_error naming the file when it cannot be opened.
    explicit RecordFile(const std::filesystem::path& path);
    void Append(const DeviceRecord& record) override;

private:
    std::filesystem::path path_;
    std::ofstream out_;
};

}  // namespace comflash
