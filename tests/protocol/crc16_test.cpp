#include "protocol/crc16.h"

#include <gtest/gtest.h>

#include <string_view>

namespace comflash {
namespace {

TEST(Crc16, CheckValueOfTheCatalogue) {
    constexpr std::string_view text = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    EXPECT_EQ(Crc16Buffer(bytes, 9), 0x29B1);
    EXPECT_EQ(Crc16Ccitt({bytes, 9}), 0x29B1);
}

TEST(Crc16, TableHoldsTheStandardValues) {
    EXPECT_EQ(kCrc16Table[0], 0x0000);
    EXPECT_EQ(kCrc16Table[1], 0x1021);
    EXPECT_EQ(kCrc16Table[2], 0x2042);
    EXPECT_EQ(kCrc16Table[255], 0x1EF0);
}

TEST(Crc16, TableAndBitwiseStepsAgreeOnEveryRegisterAndByte) {
    for (unsigned crc = 0; crc <= 0xFFFF; ++crc) {
        for (unsigned byte = 0; byte <= 0xFF; ++byte) {
            const auto r = static_cast<std::uint16_t>(crc);
            const auto b = static_cast<std::uint8_t>(byte);
            if (Crc16Step(r, b) != Crc16StepBitwise(r, b)) {
                FAIL() << "register " << crc << " byte " << byte;
            }
        }
    }
}

}  // namespace
}  // namespace comflash
