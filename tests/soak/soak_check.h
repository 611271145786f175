// The soak's judgement of one run, apart from running it: what comflash-cli
// did (its exit status, when it ended, its --record), what the simulated
// devices did (their report lines) and what the settings store holds
// afterwards. A pure function of those, so that every check can be shown to
// fail on a planted fault without breaking the tool.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace comflash::soak {

using Millis = std::chrono::milliseconds;

// What the protocol lets a device's run last beyond its wire floor. Every
// simulated fault ends a run after at most one reply time-out, and the
// checksum's is the longest.
inline constexpr Millis kLongestReplyTimeout{16000};  // 16 one-second ticks
inline constexpr Millis kTickGranularity{1000};       // a time-out runs in whole ticks
inline constexpr Millis kLongestHelloDelay{60};       // three 20 ms ticks
inline constexpr Millis kLongestRateRestore{100};     // five 20 ms ticks
inline constexpr double kFloorSlack = 1.5;            // a loaded machine is no real line

// The simulator's pauses around each device, as the soak sets them.
struct SimPauses {
    Millis powerUpDelay{0};  // --power-up-delay
    Millis quietEnd{0};      // --quiet-end
};

// The longest one device may take, from its power-up to the next device's:
// its wire floor × kFloorSlack, one checksum time-out, the tick granularity,
// the hello delay, the rate restore and the simulator's pauses. A device
// whose --record duration is longer hangs.
Millis DeviceDeadline(double wireFloorMs, SimPauses pauses);

struct SoakPlan {
    int ports = 1;
    int devicesPerPort = 1;
    bool writeSerialNumbers = false;
    std::string firstSerialNumber;  // "SN" before the run, with writeSerialNumbers
    Millis deviceDeadline{0};       // DeviceDeadline
};

// The longest the whole run may take. Ports run side by side, so a port's
// devices one after another set it; in provisioning one port serves a device
// at a time, so then every device of every port does.
Millis RunDeadline(const SoakPlan& plan);

struct SimulatorReport {
    std::string port;                // the line the simulator offered
    std::vector<std::string> lines;  // its --report, one device a line
};

struct SoakRun {
    std::optional<int> exitStatus;  // none: comflash-cli had not ended when the watch gave up
    Millis cliRanFor{0};
    std::vector<std::string> recordLines;  // comflash-cli --record
    std::vector<SimulatorReport> simulators;
    std::string storedSerialNumber;  // "SN" after the run, with writeSerialNumbers
    long earlyKilobytes = 0;         // comflash-cli's resident memory after a tenth of the devices
    long lateKilobytes = 0;          // and at the end
};

struct SoakVerdict {
    int devices = 0;  // played by the simulators
    int countedGood = 0;
    int countedFailed = 0;
    int falseOk = 0;
    int miscountedPorts = 0;
    int hangs = 0;
    int notAsExpected = 0;
    long long longestRunMs = 0;                  // of the devices' --record durations
    std::map<std::string, int> faults;           // kind drawn → devices
    std::vector<std::string> heldSerialNumbers;  // by every device that holds one
    std::vector<std::string> failures;           // why the run failed, one line each

    bool Passed() const { return failures.empty(); }
};

SoakVerdict JudgeSoak(const SoakPlan& plan, const SoakRun& run);

// The parts of the judgement, each on its own so that each can be tested and
// changed alone.

// What is wrong with comflash-cli's exit status, given how many devices its
// record counts failed; nothing when it matches.
std::optional<std::string> ExitStatusProblem(int exitStatus, int failedDevices);

// Serial numbers held by more than one device.
std::vector<std::string> DuplicateSerialNumbers(const std::vector<std::string>& held);

// Held numbers outside the series the run handed out, from the first number
// up to the stored next one (not included): a number at or past the store
// would be handed out again by the next run.
std::vector<std::string> NumbersOutsideSeries(const std::string& first, const std::string& stored,
                                              const std::vector<std::string>& held);

// The gap rule: numbers from the first to the stored one that no device holds.
// A number is allowed to be missing only when the tool's record says its fate
// is unknown (sent, never confirmed): such a number is used up and never
// handed out again. Anything else missing is a number lost.
std::vector<std::string> UnexplainedGaps(const std::string& first, const std::string& stored,
                                         const std::vector<std::string>& held,
                                         const std::set<std::string>& fateUnknown);

}  // namespace comflash::soak
