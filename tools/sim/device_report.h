// What one simulated device saw and did, whether that matches what its fault
// should give, and its line in the report file.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/fault_plan.h"

namespace comflash::sim {

struct EepromWrite {
    std::uint16_t address;
    std::size_t length;
};

// Filled in as the device goes; read once it is done.
struct DeviceSteps {
    unsigned hellos = 0;
    unsigned handshakes = 0;
    std::vector<std::uint8_t> keyBytes;
    unsigned identityRequests = 0;
    unsigned initRequests = 0;
    bool initRefused = false;
    unsigned blocks = 0;
    std::vector<std::uint16_t> refusedOffsets;
    unsigned unreadableBlocks = 0;  // refused: not a block frame the device reads
    unsigned checksumRequests = 0;
    std::optional<std::uint32_t> checksumCount;
    std::optional<std::uint16_t> checksumValue;
    bool finish = false;
    std::vector<EepromWrite> eepromWrites;
    std::optional<std::string> serialRecord;
    bool serialAcknowledged = false;

    unsigned wrongSpeedFrames = 0;
    unsigned garbledHellos = 0;
    unsigned garbledReplies = 0;
    unsigned badFrames = 0;    // check failed
    unsigned otherFrames = 0;  // valid, but nothing this device answers
    unsigned blocksAfterFault = 0;
    bool faultPlayed = false;
};

enum class DeviceEnd { Finished, Quiet, Vanished, Interrupted };

struct DeviceReport {
    unsigned device = 0;
    std::string port;
    std::uint8_t version = 0;
    Fault fault;
    DeviceSteps steps;
    std::optional<bool> imageEqual;  // only with an expected image
    DeviceEnd end = DeviceEnd::Quiet;
    std::chrono::system_clock::time_point startedAt;
    std::chrono::system_clock::time_point endedAt;
    std::chrono::milliseconds duration{0};
};

// "updated", "serial-written", "refused-hello", "init-refused", ...
std::string OutcomeOf(const DeviceReport& report);
// Whether what the host did matches what the device's fault should give.
bool AsExpected(const DeviceReport& report);

std::string ToJsonLine(const DeviceReport& report);

// The report file: one line per device, flushed as soon as it is written so
// a test can read it while the simulator runs.
class ReportFile {
public:
    explicit ReportFile(const std::filesystem::path& path);  // throws std::runtime_error
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void Write(const DeviceReport& report);  // throws std::runtime_error

private:
    [[noreturn]] void Fail() const;

    std::filesystem::path path_;
    std::FILE* file_;
};

}  // namespace comflash::sim
