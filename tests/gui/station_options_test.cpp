// The command line of comflash-station.
#include <gtest/gtest.h>

#include "gui/station/station_options.h"

namespace comflash::station {
namespace {

TEST(StationOptions, TakesEveryOptionAndPassesTheToolkitsOver) {
    const StationOptions options = ParseStationOptions({"-platform",
                                                        "offscreen",
                                                        "--port",
                                                        "COM1",
                                                        "--port",
                                                        "/dev/ttyUSB3",
                                                        "--write-sn",
                                                        "--overwrite-sn",
                                                        "--verify-sn",
                                                        "--quick-turnaround",
                                                        "--auto",
                                                        "--open",
                                                        "--record",
                                                        "line.jsonl",
                                                        "--screenshot",
                                                        "s.png",
                                                        "--screenshot-after",
                                                        "4",
                                                        "--version",
                                                        "-style",
                                                        "Fusion",
                                                        "-reverse"});
    EXPECT_EQ(options.ports, (std::vector<std::string>{"COM1", "/dev/ttyUSB3"}));
    EXPECT_TRUE(options.writeSerialNumbers);
    EXPECT_TRUE(options.overwriteSerialNumbers);
    EXPECT_TRUE(options.verifySerialNumbers);
    EXPECT_TRUE(options.quickTurnaround);
    EXPECT_TRUE(options.tickAuto);
    EXPECT_TRUE(options.open);
    EXPECT_EQ(options.record, "line.jsonl");
    EXPECT_EQ(options.screenshot, "s.png");
    EXPECT_EQ(options.screenshotAfter, 4u);
    EXPECT_TRUE(options.version);
    EXPECT_FALSE(options.help);
}

TEST(StationOptions, NoneIsThePlainWindow) {
    const StationOptions options = ParseStationOptions({});
    EXPECT_TRUE(options.ports.empty());
    EXPECT_FALSE(options.writeSerialNumbers || options.overwriteSerialNumbers ||
                 options.verifySerialNumbers || options.quickTurnaround || options.open ||
                 options.screenshot || options.record);
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class RefusedOptions : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedOptions, SayWhatIsWrong) {
    try {
        ParseStationOptions(GetParam().arguments);
        FAIL() << "accepted";
    } catch (const StationOptionError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Station, RefusedOptions,
    ::testing::Values(
        RefusedCase{"Unknown",
                    {"--fast"},
                    "unknown option \"--fast\" (comflash-station --help lists the options)"},
        RefusedCase{"PortWithoutValue", {"--port"}, "--port needs a value"},
        RefusedCase{"EmptyPort", {"--port", ""}, "--port needs a port name"},
        RefusedCase{"PortTwice", {"--port", "COM1", "--port", "COM1"}, "port COM1 is named twice"},
        RefusedCase{"PortWithSeparator",
                    {"--port", "COM1;COM2"},
                    "port \"COM1;COM2\": a port name holds no \";\""},
        RefusedCase{"ValueForAFlag", {"--open=yes"}, "--open takes no value"},
        RefusedCase{"LoosePortName",
                    {"COM1"},
                    "unexpected argument \"COM1\" (ports are given with --port)"},
        RefusedCase{"PictureCountWithoutPicture",
                    {"--screenshot-after", "2"},
                    "--screenshot-after needs --screenshot FILE"},
        RefusedCase{"PictureCountNotANumber",
                    {"--screenshot", "a.png", "--screenshot-after", "x"},
                    "--screenshot-after takes a number of devices, not \"x\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::station
