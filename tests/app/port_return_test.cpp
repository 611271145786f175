// What the operator is told when a lost port is back, for the adapters a
// bench can have: the same one, another one under the same name, adapters
// without serial numbers, and a system that names none.
#include <gtest/gtest.h>

#include <string>

#include "app/port_return.h"

namespace comflash::test {
namespace {

const AdapterIdentity kFtdiA{"0403:6001", "CFA0001", "FTDI FT232R USB UART", "USB 1-1"};
const AdapterIdentity kFtdiB{"0403:6001", "CFB0002", "FTDI FT232R USB UART", "USB 1-1"};
const AdapterIdentity kPlainAt11{"1a86:7523", "", "USB Serial", "USB 1-1"};
const AdapterIdentity kPlainAt12{"1a86:7523", "", "USB Serial", "USB 1-2"};
const AdapterIdentity kNone{};

struct ReturnCase {
    const char* name;
    AdapterIdentity lost;
    AdapterIdentity back;
    std::string said;
};

class PortReturnTest : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(PortReturnTest, SaysWhichAdapterIsBack) {
    EXPECT_EQ(PortBackText(GetParam().lost, GetParam().back), GetParam().said);
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, PortReturnTest,
    ::testing::Values(
        ReturnCase{"SameSerialNumber", kFtdiA, kFtdiA,
                   "the port is back: the same adapter (0403:6001 FTDI FT232R USB UART, serial "
                   "CFA0001)"},
        ReturnCase{"AnotherAdapterTookTheName", kFtdiA, kFtdiB,
                   "the port is back, but with another adapter: 0403:6001 FTDI FT232R USB UART, "
                   "serial CFB0002 instead of 0403:6001 FTDI FT232R USB UART, serial CFA0001; "
                   "the devices served now are the ones on that adapter: check the fixture "
                   "before going on"},
        ReturnCase{"NoSerialNumberSameSocket", kPlainAt11, kPlainAt11,
                   "the port is back: 1a86:7523 USB Serial, no serial number, at USB 1-1 (it "
                   "has no serial number, so it may not be the same adapter)"},
        ReturnCase{"NoSerialNumberOtherSocket", kPlainAt11, kPlainAt12,
                   "the port is back, but with another adapter: 1a86:7523 USB Serial, no serial "
                   "number, at USB 1-2 instead of 1a86:7523 USB Serial, no serial number, at USB "
                   "1-1; the devices served now are the ones on that adapter: check the fixture "
                   "before going on"},
        ReturnCase{"OtherKindOfAdapter", kPlainAt11, kFtdiA,
                   "the port is back, but with another adapter: 0403:6001 FTDI FT232R USB UART, "
                   "serial CFA0001 instead of 1a86:7523 USB Serial, no serial number, at USB 1-1; "
                   "the devices served now are the ones on that adapter: check the fixture "
                   "before going on"},
        ReturnCase{"LostOneNotKnown", kNone, kFtdiB,
                   "the port is back: 0403:6001 FTDI FT232R USB UART, serial CFB0002"},
        ReturnCase{"SystemNamesNone", kNone, kNone,
                   "the port is back (the system does not say which adapter it is)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::test
