#include "app/stored_serial_numbers.h"

#include <optional>
#include <string_view>

#include "app/serial_number.h"
#include "app/serial_number_list.h"

namespace comflash {
namespace {

constexpr const char* kNext = "SN";
constexpr const char* kTaken = "Taken";
constexpr const char* kUnconfirmed = "Unconfirmed";
constexpr const char* kSeries = "Series";

// A number of the series `prefix` with the given value as six digits.
std::string SerialNumberOf(const std::string& prefix, long value) {
    const std::string digits = std::to_string(value);
    return prefix + std::string(kSerialDigits - digits.size(), '0') + digits;
}

// The store's values of the serial numbers, read and written in one change.
struct Ledger {
    explicit Ledger(const SettingsValues& values)
        : next(ValueOf(values, kNext)),
          taken(ReadSerialNumberList(ValueOf(values, kTaken))),
          unconfirmed(ReadSerialNumberList(ValueOf(values, kUnconfirmed))),
          marks(ReadSerialNumberList(ValueOf(values, kSeries))) {}

    void StoreInto(SettingsValues& values) const {
        values[kNext] = next;
        values[kTaken] = SerialNumberListText(taken);
        values[kUnconfirmed] = SerialNumberListText(unconfirmed);
        values[kSeries] = SerialNumberListText(marks);
    }

    // The highest number handed out in the series of `prefix`.
    std::optional<std::string> MarkOf(const std::string& prefix) const {
        for (const auto& mark : marks) {
            if (SerialNumberLongEnough(mark) && SerialPrefix(mark) == prefix)
                return mark;
        }
        return std::nullopt;
    }
    // The highest number of the series that may be in a device: the mark, or
    // the number before "SN" when that is later (a store written by an
    // earlier version knows no marks).
    std::optional<std::string> HighestOf(const std::string& prefix) const {
        std::optional<std::string> highest = MarkOf(prefix);
        if (!SerialNumberLongEnough(next) || SerialPrefix(next) != prefix)
            return highest;
        try {
            if (SerialValue(next) == 0)
                return highest;
            const std::string before = SerialNumberOf(prefix, SerialValue(next) - 1);
            if (!highest || SerialNumberBehind(*highest, before))
                highest = before;
        } catch (const EConvertError&) {
            // "SN" holds no number of this series: it says nothing of it.
        }
        return highest;
    }
    void SetMark(const std::string& prefix, const std::optional<std::string>& mark) {
        if (const auto old = MarkOf(prefix))
            marks.erase(*old);
        if (mark)
            marks.insert(*mark);
    }
    // Still taken or unconfirmed: the number may be in a device.
    bool Holds(const std::string& number) const {
        return taken.count(number) != 0 || unconfirmed.count(number) != 0;
    }

    static std::string ValueOf(const SettingsValues& values, const char* name) {
        const auto found = values.find(name);
        return found == values.end() ? std::string() : found->second;
    }

    std::string next;
    SerialNumberList taken;
    SerialNumberList unconfirmed;
    SerialNumberList marks;
};

// Each change names the values in the order the registry writes them: first
// what a crash must not lose (see SettingsStore::ChangeSettings).
const std::vector<std::string> kTakeOrder = {kTaken, kSeries, kNext, kUnconfirmed};
const std::vector<std::string> kGiveBackOrder = {kSeries, kNext, kTaken, kUnconfirmed};
const std::vector<std::string> kUnconfirmOrder = {kUnconfirmed, kTaken, kNext, kSeries};

// One change of the serial numbers' values. Whichever value the store could
// not write, the operator knows them all as "SN".
void ChangeLedger(const SettingsStore& settings, const std::vector<std::string>& order,
                  const SettingsStore::SettingsChange& change) {
    try {
        settings.ChangeSettings(order, change);
    } catch (const ERegistryException& e) {
        if (!std::string_view(e.what()).starts_with("Failed to set data for '"))
            throw;
        throw ERegistryException(std::string("Failed to set data for '") + kNext + "'", e.Detail());
    }
}

std::string SeriesName(const std::string& prefix) {
    return prefix.empty() ? std::string("without prefix") : "'" + prefix + "'";
}

}  // namespace

std::string StoredSerialNumbers::Next() const {
    return settings_.ReadSetting(kNext);
}

TakenNumber StoredSerialNumbers::Take(const std::string& /*port*/) {
    TakenNumber taken;
    ChangeLedger(settings_, kTakeOrder, [&](SettingsValues& values) {
        Ledger ledger(values);
        taken = {};
        std::string candidate = ledger.next;
        CheckStoredSerialNumber(candidate, settings_.Location());
        // Numbers reopened by --force that may still be in devices are
        // passed over, never handed out again.
        while (ledger.Holds(candidate)) {
            taken.passedOver.push_back(candidate);
            candidate = AdvanceSerialNumber(candidate);
            CheckSerialNumberWritable(candidate);
        }
        const std::string prefix = SerialPrefix(candidate);
        if (const auto mark = ledger.MarkOf(prefix);
            mark && !SerialNumberBehind(*mark, candidate)) {
            throw SerialNumberError(
                "The stored next serial number " + candidate + " lies at or behind " + *mark +
                ", the highest number of its series this store handed out: numbers up to " + *mark +
                " may already be in devices. Store a later number with comflash-cli "
                "--set-sn, or hand these out again with --set-sn " +
                candidate + " --force");
        }
        ledger.taken.insert(candidate);
        ledger.SetMark(prefix, candidate);
        ledger.next = AdvanceSerialNumber(candidate);
        ledger.StoreInto(values);
        taken.number = candidate;
        return true;
    });
    return taken;
}

SerialFate StoredSerialNumbers::Settle(const std::string& number, SerialFate fate) {
    SerialFate ended = fate;
    const auto refuse = [&](const std::string& why) {
        throw SerialStepError("serial number " + number + " cannot become " + SerialFateName(fate) +
                              ": " + why);
    };
    const std::vector<std::string>& order =
        fate == SerialFate::Unconfirmed ? kUnconfirmOrder : kGiveBackOrder;
    ChangeLedger(settings_, order, [&](SettingsValues& values) {
        Ledger ledger(values);
        const bool taken = ledger.taken.count(number) != 0;
        const bool unconfirmed = ledger.unconfirmed.count(number) != 0;
        switch (fate) {
            case SerialFate::Written:
                if (!taken && !unconfirmed)
                    refuse("it is neither taken nor unconfirmed");
                ledger.taken.erase(number);
                ledger.unconfirmed.erase(number);
                break;
            case SerialFate::Unconfirmed:
                if (!taken)
                    refuse(unconfirmed ? "it is unconfirmed already" : "it is not taken");
                ledger.taken.erase(number);
                ledger.unconfirmed.insert(number);
                break;
            case SerialFate::Refused:
            case SerialFate::NotSent:
                if (!taken) {
                    refuse(unconfirmed ? "it may be in a device" : "it is not taken");
                }
                ledger.taken.erase(number);
                // Back into the series only while nothing later was taken;
                // otherwise the number stays a gap, which never repeats one.
                if (ledger.next == AdvanceSerialNumber(number)) {
                    ledger.next = number;
                    const std::string prefix = SerialPrefix(number);
                    const long value = SerialValue(number);
                    if (ledger.MarkOf(prefix) == number) {
                        ledger.SetMark(
                            prefix, value == 0 ? std::nullopt
                                               : std::optional(SerialNumberOf(prefix, value - 1)));
                    }
                } else if (fate == SerialFate::NotSent) {
                    ended = SerialFate::Skipped;
                }
                break;
            case SerialFate::Skipped:
                refuse("a number is skipped by giving it back");
        }
        ledger.StoreInto(values);
        return true;
    });
    return ended;
}

bool StoredSerialNumbers::Unconfirmed(const std::string& number) const {
    return ReadSerialNumberList(settings_.ReadSetting(kUnconfirmed)).count(number) != 0;
}

std::vector<std::string> StoredSerialNumbers::TakenNumbers() const {
    const SerialNumberList numbers = ReadSerialNumberList(settings_.ReadSetting(kTaken));
    return {numbers.begin(), numbers.end()};
}

std::vector<std::string> StoredSerialNumbers::UnconfirmedNumbers() const {
    const SerialNumberList numbers = ReadSerialNumberList(settings_.ReadSetting(kUnconfirmed));
    return {numbers.begin(), numbers.end()};
}

SetNextReport StoredSerialNumbers::SetNext(const std::string& text, bool force) {
    CheckStoredSerialNumber(text, settings_.Location());
    SetNextReport report;
    ChangeLedger(settings_, kGiveBackOrder, [&](SettingsValues& values) {
        Ledger ledger(values);
        report = {};
        const std::string prefix = SerialPrefix(text);
        const std::optional<std::string> highest = ledger.HighestOf(prefix);
        if (highest && !SerialNumberBehind(*highest, text)) {
            if (!force) {
                throw SerialNumberError(
                    "Serial number " + text + " lies at or behind " + *highest +
                    ", the highest number of series " + SeriesName(prefix) +
                    " this store handed out: numbers from " + text +
                    " on may already be in devices; give --force to hand them out again");
            }
            report.reopened = SerialValue(*highest) - SerialValue(text) + 1;
            report.highest = *highest;
            for (const SerialNumberList* numbers : {&ledger.taken, &ledger.unconfirmed}) {
                for (const auto& number : *numbers) {
                    if (SerialNumberLongEnough(number) && SerialPrefix(number) == prefix &&
                        !SerialNumberBehind(number, text) && !SerialNumberBehind(*highest, number))
                        report.passedOver.push_back(number);
                }
            }
            // Reopened by the operator: the series starts over from here.
            ledger.SetMark(prefix, std::nullopt);
        }
        ledger.next = text;
        ledger.StoreInto(values);
        return true;
    });
    return report;
}

}  // namespace comflash
