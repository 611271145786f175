#include "app/serial_number.h"

#include <algorithm>
#include <cstdint>

#include "protocol/host_commands.h"

namespace comflash {
namespace {

std::string LastDigits(const std::string& text) {
    return text.size() < kSerialDigits ? text : text.substr(text.size() - kSerialDigits);
}

// Only plain digits count: a sign or blank among the six would let the
// arithmetic below produce characters that are not digits.
long ReadDigits(const std::string& digits) {
    const bool decimal =
        digits.size() == kSerialDigits &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!decimal)
        throw EConvertError("'" + digits + "' is not a valid integer value");
    return std::stol(digits);
}

}  // namespace

bool SerialNumberLongEnough(const std::string& text) {
    return static_cast<std::uint8_t>(text.size()) >= kSerialDigits;
}

void CheckStoredSerialNumber(const std::string& number, const std::string& location) {
    if (!SerialNumberLongEnough(number)) {
        throw SerialNumberError(
            "Write SN Disable! The stored serial number '" + number +
            "' is shorter than 6 characters: store the first number with comflash-cli --set-sn "
            "TEXT" +
            (location.empty() ? std::string() : " (it lives in " + location + ")"));
    }
    CheckSerialNumberWritable(number);
}

void CheckSerialNumberWritable(const std::string& text) {
    // The record holds at most 16 characters: a longer number would lose its
    // last digits on the way, and device after device would get the same one.
    if (text.size() > kMaxSerialTextLength) {
        throw SerialNumberError("Serial number " + text + " is longer than " +
                                std::to_string(kMaxSerialTextLength) +
                                " characters and would not reach the device whole: enter a "
                                "shorter serial number");
    }
    // One byte per character: anything else would change the record's length.
    const auto unprintable =
        std::find_if(text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; });
    if (unprintable != text.end()) {
        throw SerialNumberError("Serial number '" + text +
                                "' holds a character that is not printable ASCII (byte " +
                                std::to_string(static_cast<unsigned char>(*unprintable)) +
                                "): a device's record takes letters, digits and punctuation only");
    }
    // The record ends at its first '#' in the device's memory: a number that
    // holds one would reach every device as the same shorter text.
    const std::size_t mark = text.find(kSerialRecordEnd);
    if (mark != std::string::npos) {
        throw SerialNumberError("Serial number '" + text + "' holds the character '" +
                                std::string(1, kSerialRecordEnd) +
                                "', which ends the record in the device: every device would "
                                "hold '" +
                                text.substr(0, mark) + "'; choose a number without '" +
                                std::string(1, kSerialRecordEnd) + "'");
    }
    const std::string digits = LastDigits(text);
    if (ReadDigits(digits) == 999999) {
        throw SerialNumberError(
            "Serial number " + text +
            " ends in 999999 and cannot be advanced: enter a new serial number");
    }
}

std::string SerialPrefix(const std::string& text) {
    return text.substr(0, text.size() - LastDigits(text).size());
}

long SerialValue(const std::string& text) {
    return ReadDigits(LastDigits(text));
}

bool SerialNumberBehind(const std::string& text, const std::string& other) {
    if (!SerialNumberLongEnough(text) || !SerialNumberLongEnough(other) ||
        SerialPrefix(text) != SerialPrefix(other)) {
        return false;
    }
    try {
        return SerialValue(text) < SerialValue(other);
    } catch (const EConvertError&) {
        return false;  // not numbers of one series
    }
}

std::string AdvanceSerialNumber(const std::string& text) {
    const std::string digits = LastDigits(text);
    long v = ReadDigits(digits) + 1;
    std::string next = text.substr(0, text.size() - digits.size());
    for (long divisor = 100000; divisor >= 1; divisor /= 10) {
        next += static_cast<char>('0' + (v / divisor) % 10);
    }
    return next;
}

}  // namespace comflash
