// Where the programs and files a test uses are. ctest hands them over in the
// environment (tests/CMakeLists.txt lists them; scripts/soak and
// scripts/bench do the same for their programs), so no path of the build
// folder is compiled into a test and a build in another folder reuses the
// compiler cache's objects.
#pragma once

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace comflash::testing {

// The value of `variable`, for example TestPath("COMFLASH_SIM_PATH"). A test
// started outside ctest without it fails with the name of what is missing.
inline std::string TestPath(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(variable) +
                                 " is not set: ctest hands it to every test, as scripts/soak "
                                 "and scripts/bench do to their programs");
    }
    return value;
}

// For a program that only some builds make (the window, the line tool).
inline std::optional<std::string> TestPathIfBuilt(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return value;
}

}  // namespace comflash::testing
