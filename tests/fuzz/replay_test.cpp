// Runs every committed corpus and regression input of the fuzz targets once,
// so that the normal test run catches a regression without clang or libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "tests/support/test_paths.h"

namespace comflash::fuzz {
namespace {

namespace fs = std::filesystem;

struct FuzzTarget {
    const char* name;
    int (*entry)(const std::uint8_t* data, std::size_t size);
};

std::vector<fs::path> InputsIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder))
        return files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::ranges::sort(files);
    return files;
}

std::vector<std::uint8_t> ReadInput(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzReplay, EveryCommittedInputKeepsTheProperties) {
    const fs::path root = comflash::testing::TestPath("COMFLASH_FUZZ_DIR");
    const std::vector<fs::path> corpus = InputsIn(root / "corpus" / GetParam().name);
    ASSERT_FALSE(corpus.empty()) << "no corpus for " << GetParam().name;

    std::vector<fs::path> inputs = corpus;
    const std::vector<fs::path> regressions = InputsIn(root / "regressions" / GetParam().name);
    inputs.insert(inputs.end(), regressions.begin(), regressions.end());
    for (const fs::path& file : inputs) {
        const std::vector<std::uint8_t> input = ReadInput(file);
        try {
            GetParam().entry(input.data(), input.size());
        } catch (const std::exception& e) {
            ADD_FAILURE() << file.string() << ": " << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::Values(FuzzTarget{"receive_path", FuzzReceivePath},
                                           FuzzTarget{"image_text", FuzzImageText},
                                           FuzzTarget{"intel_hex", FuzzIntelHex},
                                           FuzzTarget{"settings_text", FuzzSettingsText}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::fuzz
