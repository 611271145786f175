// libFuzzer's entry point, bound by the build to one target's function
// (COMFLASH_FUZZ_TARGET), so that each fuzzer is its own program.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return comflash::fuzz::COMFLASH_FUZZ_TARGET(data, size);
}
