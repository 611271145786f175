// Serial-number texts: any text of at least six characters whose last six
// characters are a decimal number; the characters before them are a fixed
// prefix.
#pragma once

#include <stdexcept>
#include <string>

namespace comflash {

// "'%s' is not a valid integer value"
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A serial number that cannot be written as it stands.
class SerialNumberError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kSerialDigits = 6;

// The length test of Write SN, counted as an 8-bit number.
bool SerialNumberLongEnough(const std::string& text);

// Raises when the number would not reach a device whole (too long, or a
// character that is not printable ASCII and so not one byte on the wire), or
// could not be advanced after a device took it, so that no two devices ever
// hold the same number.
void CheckSerialNumberWritable(const std::string& text);

// Raises unless the stored number a run starts from may be written: too short
// for Write SN ("Write SN Disable!", with how to store a first number and
// `location`, where it lives, when known) or not writable as above.
void CheckStoredSerialNumber(const std::string& number, const std::string& location = {});

// The characters before the last six digits: numbers of one prefix form one
// series.
std::string SerialPrefix(const std::string& text);
// The last six digits as a number; raises EConvertError when they are not digits.
long SerialValue(const std::string& text);
// True when `text` lies behind `other` in the same series, so writing it
// could repeat a number already handed out; false when the two are not
// numbers of one series.
bool SerialNumberBehind(const std::string& text, const std::string& other);

// The next serial number: the prefix unchanged, the last six digits plus one
// with leading zeros.
std::string AdvanceSerialNumber(const std::string& text);

}  // namespace comflash
