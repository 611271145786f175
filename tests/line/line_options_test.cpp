// Which line a front end works on: the option's, else the environment's,
// else none (the station works alone, contacting nothing).
#include "line/line_options.h"

#include "line/line_database.h"
#include "line/line_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace comflash::testing {
namespace {

struct AddressCase {
    const char* name;
    std::optional<std::string> option;
    std::optional<std::string> environment;
    std::optional<std::string> line;
};

class LineAddress : public ::testing::TestWithParam<AddressCase> {
protected:
    ~LineAddress() override { ::unsetenv(line::kLineEnvironment); }
};

TEST_P(LineAddress, OptionBeforeEnvironment) {
    const AddressCase& row = GetParam();
    if (row.environment)
        ::setenv(line::kLineEnvironment, row.environment->c_str(), 1);
    else
        ::unsetenv(line::kLineEnvironment);
    EXPECT_EQ(line::ResolveLineAddress(row.option), row.line);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, LineAddress,
    ::testing::Values(AddressCase{"neither", std::nullopt, std::nullopt, std::nullopt},
                      AddressCase{"option", "host=a", std::nullopt, "host=a"},
                      AddressCase{"environment", std::nullopt, "postgresql://b/line",
                                  "postgresql://b/line"},
                      AddressCase{"option_wins", "host=a", "host=b", "host=a"},
                      AddressCase{"empty_option_falls_back", "", "host=b", "host=b"},
                      AddressCase{"empty_environment_is_none", std::nullopt, "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// An address libpq cannot read is said at the start, without repeating it
// (it may hold a password).
TEST(LineAddressText, UnreadableIsRefusedWithoutEchoingIt) {
    try {
        line::LineDatabase database("host=line password=secret user", "st-a",
                                    std::filesystem::temp_directory_path());
        FAIL() << "an unreadable address was taken";
    } catch (const line::LineError& e) {
        EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("postgresql://"), std::string::npos) << e.what();
    }
}

TEST(StationName, DefaultsToAName) {
    EXPECT_FALSE(line::DefaultStationName().empty());
}

}  // namespace
}  // namespace comflash::testing
