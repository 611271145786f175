// The station's "Ports" value, and the socket name a tile shows for a port.
#include "app/station_ports.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace comflash {
namespace {

namespace fs = std::filesystem;

TEST(PortList, KeepsTheOrderAndDropsBlanksAndRepeats) {
    EXPECT_EQ(SplitPortList(" COM3;/dev/ttyUSB0 ;; COM1;COM3;"),
              (std::vector<std::string>{"COM3", "/dev/ttyUSB0", "COM1"}));
    EXPECT_TRUE(SplitPortList("").empty());
}

TEST(PortList, RoundTripsAndLeavesOutNamesItCannotKeep) {
    const std::vector<std::string> ports = {"COM2", "/dev/serial/by-path/pci-0:1.0-port0"};
    EXPECT_EQ(SplitPortList(JoinPortList(ports)), ports);
    EXPECT_EQ(JoinPortList({"COM1", "odd;name", "COM2"}), "COM1;COM2");
}

class Socket : public ::testing::Test {
protected:
    Socket() {
        fs::create_directories(byPath);
        std::ofstream(device) << "";
        fs::create_symlink(device, byPath / "pci-0000:00:14.0-usb-0:2:1.0-port0");
        fs::create_symlink(folder / "ttyUSB9", byPath / "pci-0000:00:14.0-usb-0:3:1.0-port0");
    }
    ~Socket() override { fs::remove_all(folder); }

    const fs::path folder =
        fs::temp_directory_path() / ("comflash-socket-" + std::to_string(::getpid()));
    const fs::path byPath = folder / "by-path";
    const fs::path device = folder / "ttyUSB0";
};

TEST_F(Socket, IsTheByPathNameOfTheSameDevice) {
    EXPECT_EQ(FixtureSocket(device.string(), byPath.string()),
              (byPath / "pci-0000:00:14.0-usb-0:2:1.0-port0").string());
}

TEST_F(Socket, IsThePathItselfWithoutOne) {
    const fs::path other = folder / "ttyACM0";
    std::ofstream(other) << "";
    EXPECT_EQ(FixtureSocket(other.string(), byPath.string()), other.string());
    EXPECT_EQ(FixtureSocket("/dev/pts/77", (folder / "missing").string()), "/dev/pts/77");
}

TEST_F(Socket, ByPathNameStaysAsItIs) {
    const std::string socket = (byPath / "pci-0000:00:14.0-usb-0:2:1.0-port0").string();
    EXPECT_EQ(FixtureSocket(socket, byPath.string()), socket);
}

}  // namespace
}  // namespace comflash
