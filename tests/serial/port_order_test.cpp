// The order --list-ports shows ports in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "serial/port_order.h"

namespace comflash::test {
namespace {

struct OrderCase {
    const char* name;
    std::vector<std::string> shuffled;
    std::vector<std::string> sorted;
};

class PortOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(PortOrderTest, SortsNumbersByValue) {
    std::vector<std::string> names = GetParam().shuffled;
    std::sort(names.begin(), names.end(), PortNameLess);
    EXPECT_EQ(names, GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortOrderTest,
    ::testing::Values(OrderCase{"ComNames",
                                {"COM10", "COM2", "COM1", "COM32", "COM3"},
                                {"COM1", "COM2", "COM3", "COM10", "COM32"}},
                      OrderCase{"UsbAdaptersAsTheDirectoryListsThem",
                                {"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyUSB0", "/dev/ttyUSB1"},
                                {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
                      OrderCase{"KindsStayTogether",
                                {"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2"},
                                {"/dev/ttyACM0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB1"}},
                      OrderCase{"LeadingZerosAndPrefixes",
                                {"port010", "port9", "port", "port09x"},
                                {"port", "port9", "port09x", "port010"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::test
