// The quick-turnaround switch: the frame rule is in force exactly while the
// line runs at the update rate, and only when quick turnaround is chosen.
#include "app/device_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/update_session.h"
#include "serial/event_loop.h"

namespace comflash {
namespace {

struct RateCase {
    const char* name;
    bool quick;
    std::vector<std::uint32_t> rates;  // set one after the other
    bool ruleAfter;
};

class DeviceLineRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(DeviceLineRate, RuleOnlyAtTheUpdateRate) {
    EventLoop loop;
    TComm comm(loop);
    for (const std::uint32_t rate : GetParam().rates)
        SetDeviceLineRate(comm, rate, GetParam().quick);
    EXPECT_EQ(comm.BaudRate(), GetParam().rates.back());
    EXPECT_EQ(comm.HasReadCompletion(), GetParam().ruleAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DeviceLineRate,
    ::testing::Values(
        RateCase{"default_at_update_rate", false, {kFastUpdateRate}, false},
        RateCase{"quick_at_update_rate", true, {kBaseRate, kFastUpdateRate}, true},
        RateCase{"quick_at_hello_rate", true, {kBaseRate}, false},
        RateCase{"quick_back_to_hello_rate", true, {kFastUpdateRate, kBaseRate}, false},
        RateCase{
            "quick_update_rate_again", true, {kFastUpdateRate, kBaseRate, kFastUpdateRate}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
