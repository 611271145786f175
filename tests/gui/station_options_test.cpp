// The command line of comflash-station, as the Qt program reads it.
#include <gtest/gtest.h>

#include "frontend/window_options.h"
#include "gui/common/toolkit_arguments.h"

namespace comflash {
namespace {

StationOptions ParseQtStationOptions(const std::vector<std::string>& arguments) {
    return ParseStationOptions(OwnArguments(arguments));
}

TEST(StationOptions, TakesEveryOptionAndPassesTheToolkitsOver) {
    const StationOptions options = ParseQtStationOptions({"-platform",
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
    EXPECT_EQ(options.run.ports, (std::vector<std::string>{"COM1", "/dev/ttyUSB3"}));
    EXPECT_TRUE(options.run.writeSerialNumbers);
    EXPECT_TRUE(options.run.overwriteSerialNumbers);
    EXPECT_TRUE(options.run.verifySerialNumbers);
    EXPECT_TRUE(options.run.quickTurnaround);
    EXPECT_TRUE(options.window.tickAuto);
    EXPECT_TRUE(options.window.open);
    EXPECT_EQ(options.run.record, "line.jsonl");
    EXPECT_EQ(options.window.screenshot, "s.png");
    EXPECT_EQ(options.window.screenshotAfter, 4u);
    EXPECT_TRUE(options.window.version);
    EXPECT_FALSE(options.window.help);
}

TEST(StationOptions, NoneIsThePlainWindow) {
    const StationOptions options = ParseQtStationOptions({});
    EXPECT_TRUE(options.run.ports.empty());
    EXPECT_FALSE(options.run.writeSerialNumbers || options.run.overwriteSerialNumbers ||
                 options.run.verifySerialNumbers || options.run.quickTurnaround ||
                 options.window.open || options.window.screenshot || options.run.record);
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;
};

class RefusedOptions : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedOptions, SayWhatIsWrong) {
    try {
        ParseQtStationOptions(GetParam().arguments);
        FAIL() << "accepted";
    } catch (const UsageError& error) {
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
                    "port COM1;COM2: a port name holds no ';'"},
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
}  // namespace comflash
