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

// Raises when the number would not reach a device whole, or could not be
// advanced after a device took it, so that no two devices ever hold the same
// number.
void CheckSerialNumberWritable(const std::string& text);

// The next serial number: the prefix unchanged, the last six digits plus one
// with leading zeros.
std::string AdvanceSerialNumber(const std::string& text);

}  // namespace comflash
