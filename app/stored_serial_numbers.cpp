#include "app/stored_serial_numbers.h"

#include "app/serial_number.h"

#include <iterator>
#include <set>
#include <sstream>

namespace comflash {
namespace {

constexpr const char* kSetting = "SN";
constexpr const char* kUnconfirmedSetting = "Unconfirmed";

std::set<std::string> NumbersIn(const std::string& text) {
    std::istringstream words(text);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

std::string TextOf(const std::set<std::string>& numbers) {
    std::string text;
    for (const auto& number : numbers)
        text += (text.empty() ? "" : " ") + number;
    return text;
}

void CheckStartingNumber(const std::string& text, const SettingsStore& settings) {
    if (!SerialNumberLongEnough(text)) {
        throw SerialNumberError("Write SN Disable! The serial number '" + text +
                                "' is shorter than 6 characters: store the first number in " +
                                settings.Location() + " as SN=...");
    }
    CheckSerialNumberWritable(text);
}

}  // namespace

const char* SerialFateName(SerialFate fate) {
    switch (fate) {
        case SerialFate::Written:
            return "written";
        case SerialFate::Refused:
            return "refused";
        case SerialFate::Unconfirmed:
            return "unconfirmed";
        case SerialFate::NotSent:
            return "not-sent";
    }
    return "unknown";
}

std::string StoredSerialNumbers::Next() const {
    return settings_.ReadSetting(kSetting);
}

std::string StoredSerialNumbers::Take(const std::string& /*port*/, const std::string& atLeast) {
    std::string taken;
    settings_.ChangeSetting(kSetting, [&](const std::string& stored) {
        // The stored number wins when the wanted one lies behind it: another
        // process may have handed out the numbers in between.
        taken = atLeast.empty() || SerialNumberBehind(atLeast, stored) ? stored : atLeast;
        CheckStartingNumber(taken, settings_);
        return AdvanceSerialNumber(taken);
    });
    // Its fate is unknown until it is settled. A crash before this line
    // leaves a number that never left: a gap, nothing more.
    settings_.ChangeSetting(kUnconfirmedSetting, [&](const std::string& listed) {
        auto numbers = NumbersIn(listed);
        numbers.insert(taken);
        return TextOf(numbers);
    });
    return taken;
}

bool StoredSerialNumbers::Unconfirmed(const std::string& number) const {
    return NumbersIn(settings_.ReadSetting(kUnconfirmedSetting)).count(number) != 0;
}

void StoredSerialNumbers::Settle(const std::string& number, SerialFate fate) {
    if (fate == SerialFate::Unconfirmed)
        return;
    settings_.ChangeSetting(kUnconfirmedSetting,
                            [&](const std::string& listed) -> std::optional<std::string> {
                                auto numbers = NumbersIn(listed);
                                if (numbers.erase(number) == 0)
                                    return std::nullopt;
                                return TextOf(numbers);
                            });
    if (!DeviceHoldsNothing(fate))
        return;
    // Back into the series only while nothing later was taken; otherwise the
    // number stays a gap, which never repeats a number.
    settings_.ChangeSetting(kSetting, [&](const std::string& stored) -> std::optional<std::string> {
        if (stored == AdvanceSerialNumber(number))
            return number;
        return std::nullopt;
    });
}

void StoredSerialNumbers::SetNext(const std::string& text, bool force) {
    CheckStartingNumber(text, settings_);
    settings_.ChangeSetting(kSetting, [&](const std::string& stored) {
        if (!force && SerialNumberBehind(text, stored)) {
            throw SerialNumberError("Serial number " + text +
                                    " lies behind the stored next number " + stored +
                                    ": numbers in between may already be in devices; give "
                                    "--force to store it anyway");
        }
        return text;
    });
}

}  // namespace comflash
