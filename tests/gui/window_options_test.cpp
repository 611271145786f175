// The comflash command line.
#include <gtest/gtest.h>

#include "frontend/window_options.h"

namespace comflash {
namespace {

TEST(WindowOptions, NoneLeaveThePlainWindow) {
    const WindowOptions options = ParseWindowOptions({});
    EXPECT_FALSE(options.portIndex);
    EXPECT_FALSE(options.tickAuto);
    EXPECT_FALSE(options.open);
    EXPECT_FALSE(options.screenshot);
    EXPECT_FALSE(options.quickTurnaround);
}

TEST(WindowOptions, QuickTurnaroundIsChosenOnTheCommandLine) {
    EXPECT_TRUE(ParseWindowOptions({"--quick-turnaround", "--open"}).quickTurnaround);
}

TEST(WindowOptions, DemoRunSelectsTicksOpensAndPictures) {
    const WindowOptions options =
        ParseWindowOptions({"--port", "com32", "--auto", "--open", "--screenshot", "w.png",
                            "--screenshot-after", "3"});
    EXPECT_EQ(options.portIndex, 31);
    EXPECT_TRUE(options.tickAuto);
    EXPECT_TRUE(options.open);
    EXPECT_EQ(options.screenshot, "w.png");
    EXPECT_EQ(options.screenshotAfter, 3u);
}

struct BadCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* mentions;
};

class BadWindowOptions : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadWindowOptions, AreRefusedWithAMessageNamingTheProblem) {
    try {
        ParseWindowOptions(GetParam().arguments);
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().mentions), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, BadWindowOptions,
    ::testing::Values(BadCase{"PortBeyondList", {"--port", "COM33"}, "COM1 to COM32"},
                      BadCase{"PortZero", {"--port", "COM0"}, "COM1 to COM32"},
                      BadCase{"DevicePath", {"--port", "/dev/ttyUSB0"}, "ports"},
                      BadCase{"PortWithoutName", {"--port"}, "needs a value"},
                      BadCase{"CountNotANumber",
                              {"--screenshot", "a", "--screenshot-after", "x"},
                              "number of devices"},
                      BadCase{"CountWithoutPicture", {"--screenshot-after", "2"}, "--screenshot"},
                      BadCase{"Unknown", {"--fast"}, "unknown option"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
