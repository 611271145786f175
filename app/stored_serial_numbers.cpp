#include "app/stored_serial_numbers.h"

#include "app/serial_number.h"

namespace comflash {
namespace {

constexpr const char* kSetting = "SN";

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
    return taken;
}

void StoredSerialNumbers::Settle(const std::string& number, SerialFate fate) {
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
