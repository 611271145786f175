// How long a test waits for what it awaits. Every wait ends as soon as the
// awaited thing happens, so patience costs nothing when all goes well; it
// only decides when a test gives up. A sanitizer slows every program of the
// test several times over, and a developer's machine is seldom quiet, so the
// bounds are written for a quiet machine and stretched here by one factor that
// the build's preset sets (COMFLASH_TEST_PATIENCE, handed to every test by
// ctest). Checks of the tool's own timing keep their bounds: they measure the
// tool, not the machine.
#pragma once

#include <chrono>
#include <cstdlib>

namespace comflash::testing {

// The factor of this build's tests: 1 when ctest hands none.
inline double PatienceFactor() {
    static const double factor = [] {
        const char* text = std::getenv("COMFLASH_TEST_PATIENCE");
        const double value = text != nullptr ? std::atof(text) : 1.0;
        return value >= 1.0 ? value : 1.0;
    }();
    return factor;
}

// `quiet` is the bound for a quiet machine without a sanitizer.
inline std::chrono::milliseconds Patience(std::chrono::milliseconds quiet) {
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
        static_cast<double>(quiet.count()) * PatienceFactor()));
}

inline int PatienceMs(int quietMs) {
    return static_cast<int>(Patience(std::chrono::milliseconds(quietMs)).count());
}

}  // namespace comflash::testing
