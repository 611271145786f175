// The number's life, as every source lives it, with the line database as the
// source: two stations on one line are the two processes.
#include <gtest/gtest.h>

#include <memory>

#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "line/line_database.h"
#include "line/line_serial_numbers.h"
#include "line_fixture.h"
#include "number_source_contract.h"

namespace comflash::testing {
namespace {

using line::LineDatabase;
using line::LineSerialNumbers;

class LineContract : public ::testing::TestWithParam<ContractCase>, public NumberSourceUnderTest {
protected:
    void SetUp() override {
        station_.Use();
        for (const char* name : {"st-a", "st-b"}) {
            lines_.push_back(
                std::make_unique<LineDatabase>(database_.Conninfo(), name, SettingsFolder()));
            ASSERT_TRUE(lines_.back()->WaitAvailable(std::chrono::seconds(30)))
                << lines_.back()->Problem();
            numbers_.push_back(std::make_unique<LineSerialNumbers>(*lines_.back(), settings_));
        }
    }

    SerialNumberSource& First() override { return *numbers_[0]; }
    SerialNumberSource& Second() override { return *numbers_[1]; }
    void StartAt(const std::string& number) override { settings_.WriteSetting("SN", number); }

private:
    ScratchDatabase database_;
    StationFolder station_{"contract"};
    SettingsStore settings_;
    std::vector<std::unique_ptr<LineDatabase>> lines_;
    std::vector<std::unique_ptr<LineSerialNumbers>> numbers_;
};

TEST_P(LineContract, Holds) {
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Steps, LineContract, ::testing::ValuesIn(NumberSourceContract()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
