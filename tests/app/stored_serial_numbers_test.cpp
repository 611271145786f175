// Serial numbers from the settings store: taken under the lock and stored
// past before they are handed out, given back only while nothing later was
// taken, never handed out twice, also by several processes at once.
#include "app/stored_serial_numbers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/serial_number.h"
#include "session_fixture.h"

namespace comflash::testing {
namespace {

class StoredNumbersTest : public ::testing::Test {
protected:
    ScratchSettings scratch;
    SettingsStore settings;
    StoredSerialNumbers numbers{settings};
};

struct TakeCase {
    const char* name;
    std::string stored;
    std::string atLeast;
    std::optional<std::string> taken;  // none: refused, the store unchanged
};

class Take : public StoredNumbersTest, public ::testing::WithParamInterface<TakeCase> {};

TEST_P(Take, HandsOutTheNextNumberAndStoresTheOneAfterIt) {
    const TakeCase& row = GetParam();
    if (!row.stored.empty())
        settings.WriteSetting("SN", row.stored);
    if (!row.taken) {
        EXPECT_ANY_THROW(numbers.Take("COM1", row.atLeast));
        EXPECT_EQ(settings.ReadSetting("SN"), row.stored);
        return;
    }
    EXPECT_EQ(numbers.Take("COM1", row.atLeast), *row.taken);
    EXPECT_EQ(settings.ReadSetting("SN"), AdvanceSerialNumber(*row.taken));
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, Take,
    ::testing::Values(TakeCase{"stored", "AB000010", "", "AB000010"},
                      // Another process took the numbers in between: never back.
                      TakeCase{"wanted_behind_the_store", "AB000010", "AB000005", "AB000010"},
                      TakeCase{"wanted_ahead_of_the_store", "AB000010", "AB000020", "AB000020"},
                      TakeCase{"wanted_of_another_series", "AB000010", "XY000001", "XY000001"},
                      TakeCase{"wanted_with_nothing_stored", "", "AB000005", "AB000005"},
                      TakeCase{"nothing_stored", "", "", std::nullopt},
                      TakeCase{"stored_too_short", "12345", "", std::nullopt},
                      TakeCase{"stored_cannot_advance", "AB999999", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoredNumbersTest, NumberTheDeviceCannotHoldGoesBackUnlessALaterOneWasTaken) {
    settings.WriteSetting("SN", "AB000010");
    const std::string first = numbers.Take("COM1", "");
    numbers.Settle(first, SerialFate::Refused);
    EXPECT_EQ(settings.ReadSetting("SN"), "AB000010") << "one process alone leaves no gap";

    const std::string again = numbers.Take("COM1", "");
    EXPECT_EQ(again, "AB000010");
    const std::string later = numbers.Take("COM2", "");
    numbers.Settle(again, SerialFate::NotSent);
    EXPECT_EQ(settings.ReadSetting("SN"), "AB000012") << "a later number was taken: a gap";

    numbers.Settle(later, SerialFate::Unconfirmed);
    EXPECT_EQ(settings.ReadSetting("SN"), "AB000012") << "the device may hold it";
    const std::string next = numbers.Take("COM1", "");
    numbers.Settle(next, SerialFate::Written);
    EXPECT_EQ(settings.ReadSetting("SN"), "AB000013");
}

struct SetCase {
    const char* name;
    std::string text;
    bool force;
    bool stored;  // else refused and the store unchanged
};

class SetNext : public StoredNumbersTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetNext, StoresOnlyANumberThatCannotRepeatOne) {
    settings.WriteSetting("SN", "AB000010");
    const SetCase& row = GetParam();
    if (row.stored) {
        numbers.SetNext(row.text, row.force);
        EXPECT_EQ(numbers.Next(), row.text);
    } else {
        EXPECT_ANY_THROW(numbers.SetNext(row.text, row.force));
        EXPECT_EQ(numbers.Next(), "AB000010");
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, SetNext,
                         ::testing::Values(SetCase{"ahead", "AB000020", false, true},
                                           SetCase{"same", "AB000010", false, true},
                                           SetCase{"behind", "AB000009", false, false},
                                           SetCase{"behind_forced", "AB000009", true, true},
                                           SetCase{"another_series", "QA000001", false, true},
                                           SetCase{"too_short", "12345", true, false},
                                           SetCase{"seventeen_characters", "ABCDEFGHIJK000001",
                                                   true, false},
                                           SetCase{"not_ascii",
                                                   "\xC3\x84"
                                                   "B000001",
                                                   true, false},
                                           SetCase{"letters_at_the_end", "AB0000XY", true, false},
                                           SetCase{"cannot_advance", "AB999999", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Processes sharing one store, each taking numbers and giving some back as
// refused: every number kept by a device is kept by one device only.
TEST_F(StoredNumbersTest, SeveralProcessesNeverKeepTheSameNumber) {
    settings.WriteSetting("SN", "MP000100");
    constexpr int kProcesses = 4;
    constexpr int kTakesEach = 30;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::ofstream kept(scratch.Folder() / ("kept" + std::to_string(p)));
            for (int i = 0; i < kTakesEach; ++i) {
                const std::string number = numbers.Take("P" + std::to_string(p), "");
                if (i % 3 == 2) {
                    numbers.Settle(number, SerialFate::Refused);
                } else {
                    kept << number << "\n" << std::flush;
                    numbers.Settle(number, SerialFate::Written);
                }
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::set<std::string> distinct;
    std::size_t kept = 0;
    std::string highest;
    for (int p = 0; p < kProcesses; ++p) {
        std::ifstream in(scratch.Folder() / ("kept" + std::to_string(p)));
        for (std::string number; std::getline(in, number); ++kept) {
            distinct.insert(number);
            highest = std::max(highest, number);
        }
    }
    EXPECT_EQ(kept, static_cast<std::size_t>(kProcesses * kTakesEach * 2 / 3));
    EXPECT_EQ(distinct.size(), kept) << "a number was kept twice";
    EXPECT_TRUE(SerialNumberBehind(highest, settings.ReadSetting("SN")))
        << highest << " is not behind the stored " << settings.ReadSetting("SN");
}

}  // namespace
}  // namespace comflash::testing
