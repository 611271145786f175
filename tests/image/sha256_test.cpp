// SHA-256 against the published test vectors and against the boundaries of
// its padding, where a slip shows first.
#include "image/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash {
namespace {

std::vector<std::uint8_t> BytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

struct Vector {
    const char* name;
    std::vector<std::uint8_t> message;
    const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, GiveThePublishedDigest) {
    EXPECT_EQ(Sha256Hex(GetParam().message), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Vectors,
    ::testing::Values(
        Vector{"Empty", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"Abc", BytesOf("abc"),
               "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        Vector{"LengthInASecondBlock",
               BytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{
            "HundredTwelveBytes",
            BytesOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmn"
                    "opqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        Vector{"MillionA", std::vector<std::uint8_t>(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // 55 and 64 bytes: the last length that fits one block, and a whole block.
        Vector{"FiftyFiveBytes", std::vector<std::uint8_t>(55, 'a'),
               "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        Vector{"SixtyFourBytes", std::vector<std::uint8_t>(64, 'a'),
               "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
