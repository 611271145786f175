// The faults a simulated device can play, how they are written on the command
// line, and which device plays which.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace comflash::sim {

class FaultSyntaxError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

enum class FaultKind {
    None,
    InitRefused,    // EEPROM init answered with status 0
    BlockRefused,   // the block at `offset` answered with status 0
    WrongChecksum,  // the checksum reply carries a wrong value
    NoReply,        // the request at `step` gets no reply
    SplitReply,     // the reply at `step` leaves in two bursts
    Noise,          // stray bytes (never 0xAB) around the device's frames
    HelloNoDigit,   // hello without its version digit
    HelloVersion0,  // hello announcing version 0
    HelloL3,        // hello of version `helloVersion` (below 3), which a host with L3 refuses
    DoubleHello,    // two hellos 40 ms apart
    Vanish,         // the line disappears when the block at `offset` (or `step`) arrives
    SerialRefused,  // serial-number record answered with status 0
    StoredNoReply,  // the request at `step` is carried out, its reply never sent
    LateReply,      // the request at `step` is carried out, answered after the host's time-out
    ReturnsAfter,   // the record is stored, never answered, and the next device is this one again
    WrongRecord,    // the record is acknowledged, but what the device stores differs
};

// Requests at which a reply can be withheld or split.
enum class FaultStep { Identity, Init, Block, Checksum, Serial };

enum class NoiseMode { Bursts, Prefix, Both };

struct Fault {
    FaultKind kind = FaultKind::None;
    FaultStep step = FaultStep::Identity;
    std::uint16_t offset = 0;
    NoiseMode noise = NoiseMode::Both;
    std::uint8_t helloVersion = 2;

    bool TriggersAt(FaultStep at, std::uint16_t blockOffset) const;
    bool IsBadHello() const;
    // The host keeps its reply time-out running after these, so the next
    // device must wait until that time-out can have run out.
    bool LeavesHostWaiting() const;
    bool NoiseBursts() const;
    bool NoisePrefix() const;

    friend bool operator==(const Fault&, const Fault&) = default;
};

// The canonical text of a fault, as --fault takes it ("none" for no fault).
std::string FaultName(const Fault& fault);

// "KIND[:ARG]"
Fault ParseFault(std::string_view text);

struct DeviceFault {
    unsigned device;
    Fault fault;
};
// "N:KIND[:ARG]", N counting devices from 1.
DeviceFault ParseDeviceFault(std::string_view text);

struct RandomFaults {
    std::uint64_t seed = 0;
    double rate = 0.3;
    std::uint32_t imageLength = 0;  // block offsets are drawn below it; 0: offset 0 only
    bool allowVanish = false;       // only when the host can find the line again
};

// Faults chosen on the command line win; the other devices draw theirs
// from the seed, each device on its own so the plan of one never depends on
// how many came before.
class FaultPlan {
public:
    FaultPlan() = default;
    FaultPlan(std::map<unsigned, Fault> chosen, std::optional<RandomFaults> random)
        : chosen_(std::move(chosen)), random_(random) {}

    Fault For(unsigned device) const;

private:
    std::map<unsigned, Fault> chosen_;
    std::optional<RandomFaults> random_;
};

// The fault kinds, one per line, for --help.
std::string FaultHelp();

}  // namespace comflash::sim
