// Port names on POSIX: device paths as they are, the map file the caller
// names, and the COMn fallback. Every case has a map file of its own.
#include "serial/port_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace comflash {
namespace {

namespace fs = std::filesystem;

class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = fs::temp_directory_path() / ("comflash-portmap-" + std::to_string(::getpid()));
        fs::create_directories(scratch_);
    }
    void TearDown() override { fs::remove_all(scratch_); }
    fs::path WriteMap(const std::string& text) const {
        const fs::path map = scratch_ / "ports";
        std::ofstream(map) << text;
        return map;
    }
    fs::path scratch_;
};

struct NameCase {
    const char* name;
    const char* port;
    const char* resolved;
};

class ResolveTest : public PortMapTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ResolveTest, ResolvesThroughTheMap) {
    const fs::path map = WriteMap(
        "# serial adapters on the bench\n"
        "\n"
        "COM3=/dev/ttyUSB0\n"
        "  com4 = /dev/ttyACM1  \n"
        "COM5\n"
        "COM6=relative/path\n"
        "=/dev/ttyUSB7\n"
        "COM8=/dev/ttyUSB1\n"
        "COM8=/dev/ttyUSB2\n");
    EXPECT_EQ(ResolvePortName(GetParam().port, map), GetParam().resolved);
}

INSTANTIATE_TEST_SUITE_P(Names, ResolveTest,
                         ::testing::Values(NameCase{"Listed", "COM3", "/dev/ttyUSB0"},
                                           NameCase{"ListedWithBlanksAnyCase", "COM4",
                                                    "/dev/ttyACM1"},
                                           NameCase{"NameInAnyCase", "com3", "/dev/ttyUSB0"},
                                           NameCase{"LaterLineWins", "COM8", "/dev/ttyUSB2"},
                                           NameCase{"NotListed", "COM1", "/dev/ttyS0"},
                                           NameCase{"NotListedTwoDigits", "COM32", "/dev/ttyS31"},
                                           NameCase{"MalformedLineIgnored", "COM5", "/dev/ttyS4"},
                                           NameCase{"RelativeTargetIgnored", "COM6", "/dev/ttyS5"},
                                           NameCase{"DevicePathAsItIs", "/dev/pts/7", "/dev/pts/7"},
                                           NameCase{"NoComNumber", "COM0", "COM0"},
                                           NameCase{"NotAComName", "modem", "modem"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortMapTest, WithoutAMapComNamesUseTheFallback) {
    EXPECT_EQ(ResolvePortName("COM2", scratch_ / "no-such-file"), "/dev/ttyS1");
    EXPECT_EQ(ResolvePortName("COM2", {}), "/dev/ttyS1");
}

}  // namespace
}  // namespace comflash
