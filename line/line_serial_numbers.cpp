#include "line/line_serial_numbers.h"

#include <exception>

#include "app/serial_number.h"
#include "line/line_error.h"
#include "line/line_marks.h"
#include "line/serial_series.h"

namespace comflash::line {
namespace {

constexpr const char* kStoredNumber = "SN";

}  // namespace

LineSerialNumbers::LineSerialNumbers(LineDatabase& line, const SettingsStore& settings)
    : line_(line), settings_(settings) {}

std::string LineSerialNumbers::StartingNumber() const {
    const std::string start = settings_.ReadSetting(kStoredNumber);
    CheckStoredSerialNumber(start, settings_.Location());
    return start;
}

std::string LineSerialNumbers::Next() const {
    const std::string start = StartingNumber();
    const std::string prefix = SerialPrefix(start);
    return SerialText(prefix, line_.NextInSeries(prefix, static_cast<int>(SerialValue(start))));
}

TakenNumber LineSerialNumbers::Take(const std::string& port) {
    const std::string start = StartingNumber();
    const std::string prefix = SerialPrefix(start);
    Reservation taken;
    try {
        taken = line_.Reserve(prefix, static_cast<int>(SerialValue(start)), port);
    } catch (const LineUnreachable& e) {
        // A pause, not a fault: the hello goes unanswered, and its device is
        // served once the line is back.
        throw SerialSourceAway(e.what());
    }
    const std::string number = SerialText(prefix, taken.value);
    try {
        std::lock_guard lock(mutex_);
        if (marked_.count(prefix) == 0) {
            MarkProvisionedThroughLine(settings_, prefix);
            marked_.insert(prefix);
        }
        FollowLine(prefix, taken.seriesNext);
        open_[number] = taken;
    } catch (...) {
        // The number never left: it goes back before the error is said (or,
        // when even that fails, stays reserved: a gap).
        try {
            line_.Settle(taken, SerialFate::NotSent);
        } catch (const std::exception&) {
        }
        throw;
    }
    return {number, {}};
}

SerialFate LineSerialNumbers::Settle(const std::string& number, SerialFate fate) {
    const auto refuse = [&](const std::string& why) {
        throw SerialStepError("serial number " + number + " cannot become " + SerialFateName(fate) +
                              ": " + why);
    };
    if (fate == SerialFate::Skipped)
        refuse("a number is skipped by giving it back");
    Reservation reservation;
    {
        std::lock_guard lock(mutex_);
        const auto found = open_.find(number);
        if (found != open_.end()) {
            reservation = found->second;
            open_.erase(found);
        } else if (fate != SerialFate::Written) {
            refuse("this station holds no open reservation of it");
        }
    }
    if (reservation.id != 0) {
        line_.Settle(reservation, fate);
        return fate;
    }
    // A number of an earlier run or of another station, confirmed by the
    // device holding it.
    if (!SerialNumberLongEnough(number))
        refuse("it is no number of a series");
    bool confirmed = false;
    try {
        confirmed = line_.Confirm(SerialPrefix(number), static_cast<int>(SerialValue(number)));
    } catch (const LineUnreachable& e) {
        // The confirmation may have reached the server: asked again, a
        // number found written already is that confirmation's.
        std::lock_guard lock(mutex_);
        confirmInDoubt_.insert(number);
        throw SerialSourceAway(e.what());
    }
    std::lock_guard lock(mutex_);
    const bool inDoubt = confirmInDoubt_.erase(number) != 0;
    if (!confirmed && !inDoubt)
        refuse("the line holds it neither reserved nor unconfirmed");
    return fate;
}

bool LineSerialNumbers::Unconfirmed(const std::string& number) const {
    int value = 0;
    try {
        if (!SerialNumberLongEnough(number))
            return false;
        value = static_cast<int>(SerialValue(number));
    } catch (const std::exception&) {
        return false;  // not a number of any series
    }
    try {
        return line_.Unconfirmed(SerialPrefix(number), value);
    } catch (const LineUnreachable& e) {
        // Not a "no": the device may hold a number whose fate the line alone knows.
        throw SerialSourceAway(e.what());
    }
}

std::string LineSerialNumbers::Join() {
    const std::string start = StartingNumber();
    const std::string prefix = SerialPrefix(start);
    const int next = line_.Join(prefix, static_cast<int>(SerialValue(start)));
    std::lock_guard lock(mutex_);
    FollowLine(prefix, next);
    return SerialText(prefix, next);
}

void LineSerialNumbers::FollowLine(const std::string& prefix, int lineNext) {
    const std::string next = SerialText(prefix, lineNext);
    settings_.ChangeSetting(
        kStoredNumber, [&](const std::string& stored) -> std::optional<std::string> {
            // Another series chosen meanwhile, or a station ahead of the line:
            // left as it is (the next reservation joins with it).
            if (stored == next ||
                (SerialNumberLongEnough(stored) && SerialPrefix(stored) != prefix) ||
                SerialNumberBehind(next, stored)) {
                return std::nullopt;
            }
            return next;
        });
}

}  // namespace comflash::line
