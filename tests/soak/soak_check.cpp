#include "soak_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "json_lines.h"

namespace comflash::soak {
namespace {

using simtest::Json;

constexpr std::size_t kSerialDigits = 6;
constexpr long kSerialValues = 1000000;
constexpr std::size_t kNumbersNamed = 5;  // a longer list only hides the first ones
constexpr long kMemoryGrowthKilobytes = 1024;

// One line of comflash-cli's --record.
struct RecordEntry {
    std::string port;
    std::string result;
    long long durationMs = 0;
    std::string serialNumber;  // the number written, with result serial-written
    std::string serialSent;    // the number sent, whatever became of it
    std::string serialFate;    // "written", "refused", "unconfirmed", "not-sent"
};

// One line of a simulator's --report.
struct DeviceEntry {
    long long device = 0;
    std::string fault;
    std::string outcome;
    bool asExpected = false;
    std::optional<bool> imageEqual;
    std::optional<std::string> serialNumber;  // from the serial record the device holds
};

std::string OptionalString(const Json& object, std::string_view key) {
    return object.Has(key) && !object[key].IsNull() ? object[key].String() : std::string();
}

RecordEntry ParseRecord(const std::string& line) {
    const Json json = Json::Parse(line);
    return {json["port"].String(),
            json["result"].String(),
            json["duration_ms"].Int(),
            OptionalString(json, "serial_number"),
            OptionalString(json, "serial_sent"),
            OptionalString(json, "serial_fate")};
}

DeviceEntry ParseDevice(const std::string& line) {
    const Json json = Json::Parse(line);
    DeviceEntry device{json["device"].Int(),       json["fault"].String(), json["outcome"].String(),
                       json["as_expected"].Bool(), std::nullopt,           std::nullopt};
    if (!json["image_equal"].IsNull())
        device.imageEqual = json["image_equal"].Bool();
    if (!json["serial_record"].IsNull()) {
        // The record's text is the number followed by "#", cut to 16 characters.
        const std::string& record = json["serial_record"].String();
        device.serialNumber = record.substr(0, record.find('#'));
    }
    return device;
}

// A fault without its block offset: "block-refused:1280" counts as "block-refused".
std::string FaultKind(const std::string& fault) {
    const std::size_t colon = fault.rfind(':');
    const bool offset = colon != std::string::npos &&
                        fault.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    return offset ? fault.substr(0, colon) : fault;
}

// A serial number as its fixed prefix and the value of its last six digits.
struct SerialValue {
    std::string prefix;
    long value = 0;
};

std::optional<SerialValue> ParseSerial(const std::string& text) {
    if (text.size() < kSerialDigits)
        return std::nullopt;
    const std::string digits = text.substr(text.size() - kSerialDigits);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return SerialValue{text.substr(0, text.size() - kSerialDigits), std::stol(digits)};
}

std::string SerialText(const std::string& prefix, long value) {
    char digits[24];  // room for any long; the values here have six digits
    std::snprintf(digits, sizeof digits, "%06ld", value);
    return prefix + digits;
}

std::string NameSome(const std::vector<std::string>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size() && i < kNumbersNamed; ++i)
        text += (i > 0 ? ", " : "") + numbers[i];
    if (numbers.size() > kNumbersNamed)
        text += " and " + std::to_string(numbers.size() - kNumbersNamed) + " more";
    return text;
}

std::string Seconds(Millis span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(span.count()) / 1000);
    return text;
}

class Judge {
public:
    Judge(const SoakPlan& plan, const SoakRun& run) : plan_(plan), run_(run) {}

    SoakVerdict Verdict() {
        ReadRecord();
        for (const SimulatorReport& simulator : run_.simulators)
            JudgePort(simulator);
        for (const auto& [port, entries] : recordsByPort_) {
            Fail("the record names " + std::to_string(entries.size()) + " devices on " + port +
                 ", a port no simulator offered");
            ++verdict_.miscountedPorts;
        }
        JudgeEnd();
        JudgeMemory();
        if (plan_.writeSerialNumbers)
            JudgeSerialNumbers();
        return verdict_;
    }

private:
    void Fail(const std::string& why) { verdict_.failures.push_back(why); }

    const char* GoodResult() const {
        return plan_.writeSerialNumbers ? "serial-written" : "updated";
    }

    void ReadRecord() {
        for (std::size_t n = 0; n < run_.recordLines.size(); ++n) {
            try {
                const RecordEntry entry = ParseRecord(run_.recordLines[n]);
                if (entry.result == GoodResult()) {
                    ++verdict_.countedGood;
                } else {
                    ++verdict_.countedFailed;
                }
                if (entry.serialFate == "unconfirmed")
                    fateUnknown_.insert(entry.serialSent);
                recordsByPort_[entry.port].push_back(entry);
            } catch (const std::exception& e) {
                Fail("record line " + std::to_string(n + 1) + " unreadable: " + e.what());
            }
        }
    }

    std::vector<DeviceEntry> ReadReport(const SimulatorReport& simulator) {
        std::vector<DeviceEntry> devices;
        for (std::size_t n = 0; n < simulator.lines.size(); ++n) {
            try {
                devices.push_back(ParseDevice(simulator.lines[n]));
            } catch (const std::exception& e) {
                Fail(simulator.port + ": report line " + std::to_string(n + 1) +
                     " unreadable: " + e.what());
            }
        }
        return devices;
    }

    // The devices of one simulator against the record's lines for its port,
    // in the order both were written: one device after the other.
    void JudgePort(const SimulatorReport& simulator) {
        const std::vector<DeviceEntry> devices = ReadReport(simulator);
        const auto found = recordsByPort_.find(simulator.port);
        const std::vector<RecordEntry> records =
            found != recordsByPort_.end() ? found->second : std::vector<RecordEntry>();
        if (found != recordsByPort_.end())
            recordsByPort_.erase(found);

        const auto planned = static_cast<std::size_t>(plan_.devicesPerPort);
        if (devices.size() != planned || records.size() != devices.size()) {
            std::string results;
            for (const RecordEntry& record : records)
                results += " " + record.result;
            Fail(simulator.port + ": " + std::to_string(planned) + " devices planned, " +
                 std::to_string(devices.size()) + " played, " + std::to_string(records.size()) +
                 " counted:" + results);
            ++verdict_.miscountedPorts;
        }
        for (std::size_t k = 0; k < devices.size(); ++k)
            JudgeDevice(simulator.port, devices[k], k < records.size() ? &records[k] : nullptr);
    }

    void JudgeDevice(const std::string& port, const DeviceEntry& device,
                     const RecordEntry* record) {
        const std::string name = port + ": device " + std::to_string(device.device);
        ++verdict_.devices;
        ++verdict_.faults[FaultKind(device.fault)];
        if (device.serialNumber)
            verdict_.heldSerialNumbers.push_back(*device.serialNumber);
        if (!device.asExpected) {
            ++verdict_.notAsExpected;
            Fail(name + " with fault " + device.fault + " ended " + device.outcome +
                 ", not as its fault predicts");
        }
        if (record == nullptr)
            return;
        if (record->result == GoodResult() && !Holds(device, *record)) {
            ++verdict_.falseOk;
            Fail(name + " counted " + record->result + " but does not hold " +
                 (plan_.writeSerialNumbers ? "the number " + record->serialNumber
                                           : std::string("the image")) +
                 ": a false Ok");
        }
        verdict_.longestRunMs = std::max(verdict_.longestRunMs, record->durationMs);
        if (record->durationMs > plan_.deviceDeadline.count()) {
            ++verdict_.hangs;
            Fail(name + " took " + std::to_string(record->durationMs) + " ms (" + record->result +
                 "), past its deadline of " + std::to_string(plan_.deviceDeadline.count()) +
                 " ms: a hang");
        }
    }

    bool Holds(const DeviceEntry& device, const RecordEntry& record) const {
        if (plan_.writeSerialNumbers)
            return device.serialNumber == record.serialNumber;
        return device.imageEqual.value_or(false);
    }

    void JudgeEnd() {
        const Millis deadline = RunDeadline(plan_);
        if (!run_.exitStatus) {
            ++verdict_.hangs;
            Fail("comflash-cli still ran after " + Seconds(run_.cliRanFor) + ", past the " +
                 Seconds(deadline) + " its devices may take: a hang");
            return;
        }
        if (run_.cliRanFor > deadline) {
            ++verdict_.hangs;
            Fail("comflash-cli ended only after " + Seconds(run_.cliRanFor) + ", past the " +
                 Seconds(deadline) + " its devices may take: a hang");
        }
        if (const auto problem = ExitStatusProblem(*run_.exitStatus, verdict_.countedFailed))
            Fail(*problem);
    }

    void JudgeMemory() {
        if (run_.earlyKilobytes == 0) {
            Fail("comflash-cli's memory was never measured after the first tenth of the devices");
        } else if (run_.lateKilobytes > run_.earlyKilobytes + kMemoryGrowthKilobytes) {
            Fail("comflash-cli's memory grew from " + std::to_string(run_.earlyKilobytes) +
                 " KB after the first tenth of the devices to " +
                 std::to_string(run_.lateKilobytes) + " KB at the end");
        }
    }

    void JudgeSerialNumbers() {
        const auto& held = verdict_.heldSerialNumbers;
        const std::string& stored = run_.storedSerialNumber;
        const auto first = ParseSerial(plan_.firstSerialNumber);
        const auto next = ParseSerial(stored);
        if (!first || !next || next->prefix != first->prefix) {
            Fail("the store holds '" + stored + "', not a number of the series of " +
                 plan_.firstSerialNumber);
        }
        for (const std::string& number : DuplicateSerialNumbers(held)) {
            Fail("serial number " + number + " is held by " +
                 std::to_string(std::count(held.begin(), held.end(), number)) + " devices");
        }
        const auto outside = NumbersOutsideSeries(plan_.firstSerialNumber, stored, held);
        if (!outside.empty()) {
            Fail("the store holds " + stored + ", not past every number a device holds, or a " +
                 "device holds a number never handed out: " + NameSome(outside));
        }
        const auto gaps = UnexplainedGaps(plan_.firstSerialNumber, stored, held, fateUnknown_);
        if (!gaps.empty()) {
            Fail("numbers below the stored " + stored +
                 " that no device holds, and the record does not call their fate unknown: " +
                 NameSome(gaps));
        }
    }

    const SoakPlan& plan_;
    const SoakRun& run_;
    SoakVerdict verdict_;
    std::map<std::string, std::vector<RecordEntry>> recordsByPort_;
    std::set<std::string> fateUnknown_;
};

}  // namespace

Millis DeviceDeadline(double wireFloorMs, SimPauses pauses) {
    const Millis slackFloor{static_cast<long long>(std::ceil(wireFloorMs * kFloorSlack))};
    return slackFloor + kLongestReplyTimeout + kTickGranularity + kLongestHelloDelay +
           kLongestRateRestore + pauses.powerUpDelay + pauses.quietEnd;
}

Millis RunDeadline(const SoakPlan& plan) {
    const int oneAfterAnother =
        plan.writeSerialNumbers ? plan.ports * plan.devicesPerPort : plan.devicesPerPort;
    return plan.deviceDeadline * oneAfterAnother;
}

SoakVerdict JudgeSoak(const SoakPlan& plan, const SoakRun& run) {
    return Judge(plan, run).Verdict();
}

// comflash-cli: 0 every device served, 1 a device failed, 2 a run that could
// not start; a status above 128 is a signal that ended it.
std::optional<std::string> ExitStatusProblem(int exitStatus, int failedDevices) {
    const std::string failed = std::to_string(failedDevices);
    if (exitStatus == 0 && failedDevices > 0)
        return "comflash-cli ended with status 0 (every device served) although its record "
               "counts " +
               failed + " failed";
    if (exitStatus == 1 && failedDevices == 0)
        return std::string(
            "comflash-cli ended with status 1 (a device failed) although its record counts none "
            "failed");
    if (exitStatus != 0 && exitStatus != 1)
        return "comflash-cli ended with status " + std::to_string(exitStatus) +
               ", which no run of devices gives (2: it could not start, above 128: a signal "
               "ended it); its record counts " +
               failed + " failed";
    return std::nullopt;
}

std::vector<std::string> DuplicateSerialNumbers(const std::vector<std::string>& held) {
    std::map<std::string, int> holders;
    for (const std::string& number : held)
        ++holders[number];
    std::vector<std::string> duplicates;
    for (const auto& [number, count] : holders) {
        if (count > 1)
            duplicates.push_back(number);
    }
    return duplicates;
}

std::vector<std::string> NumbersOutsideSeries(const std::string& first, const std::string& stored,
                                              const std::vector<std::string>& held) {
    const auto from = ParseSerial(first);
    const auto next = ParseSerial(stored);
    std::vector<std::string> outside;
    for (const std::string& number : held) {
        const auto value = ParseSerial(number);
        const bool inSeries = from && next && value && value->prefix == from->prefix &&
                              value->prefix == next->prefix && value->value >= from->value &&
                              value->value < next->value;
        if (!inSeries)
            outside.push_back(number);
    }
    return outside;
}

std::vector<std::string> UnexplainedGaps(const std::string& first, const std::string& stored,
                                         const std::vector<std::string>& held,
                                         const std::set<std::string>& fateUnknown) {
    const auto from = ParseSerial(first);
    const auto next = ParseSerial(stored);
    std::vector<std::string> gaps;
    if (!from || !next || from->prefix != next->prefix)
        return gaps;  // no series to look into: reported as the store's fault
    const std::set<std::string> holding(held.begin(), held.end());
    for (long value = from->value; value < next->value && value < kSerialValues; ++value) {
        const std::string number = SerialText(from->prefix, value);
        if (holding.count(number) == 0 && fateUnknown.count(number) == 0)
            gaps.push_back(number);
    }
    return gaps;
}

}  // namespace comflash::soak
