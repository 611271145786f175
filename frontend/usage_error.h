// Bad arguments on a command line: every program of ours turns it into one
// line on standard error and exit status 2.
#pragma once

#include <stdexcept>

namespace comflash {

// The message says what is wrong, in the operator's words.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace comflash
