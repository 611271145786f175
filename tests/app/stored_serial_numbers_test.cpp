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
#include "number_source_contract.h"
#include "session_fixture.h"

namespace comflash::testing {
namespace {

class StoredNumbersTest : public ::testing::Test {
protected:
    std::string Take() { return numbers.Take("COM1").number; }

    ScratchSettings scratch;
    SettingsStore settings;
    StoredSerialNumbers numbers{settings};
};

// The number's life, as every source lives it: here two instances on one
// store are two processes.
class StoredContract : public StoredNumbersTest,
                       public NumberSourceUnderTest,
                       public ::testing::WithParamInterface<ContractCase> {
protected:
    SerialNumberSource& First() override { return numbers; }
    SerialNumberSource& Second() override { return second_; }
    void StartAt(const std::string& number) override { settings.WriteSetting("SN", number); }

private:
    StoredSerialNumbers second_{settings};
};

TEST_P(StoredContract, Holds) {
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Steps, StoredContract, ::testing::ValuesIn(NumberSourceContract()),
                         [](const auto& info) { return std::string(info.param.name); });

struct TakeCase {
    const char* name;
    std::string stored;
    std::optional<std::string> taken;  // none: refused, the store unchanged
};

class TakeNext : public StoredNumbersTest, public ::testing::WithParamInterface<TakeCase> {};

TEST_P(TakeNext, HandsOutTheNextNumberAndStoresTheOneAfterIt) {
    const TakeCase& row = GetParam();
    if (!row.stored.empty())
        settings.WriteSetting("SN", row.stored);
    if (!row.taken) {
        EXPECT_ANY_THROW(Take());
        EXPECT_EQ(settings.ReadSetting("SN"), row.stored);
        EXPECT_TRUE(numbers.TakenNumbers().empty());
        return;
    }
    EXPECT_EQ(Take(), *row.taken);
    EXPECT_EQ(settings.ReadSetting("SN"), AdvanceSerialNumber(*row.taken));
    EXPECT_EQ(numbers.TakenNumbers(), std::vector<std::string>{*row.taken})
        << "named as taken in the same write";
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, TakeNext,
    ::testing::Values(TakeCase{"stored", "AB000010", "AB000010"},
                      TakeCase{"blank_in_the_prefix", "A B000010", "A B000010"},
                      TakeCase{"nothing_stored", "", std::nullopt},
                      TakeCase{"stored_too_short", "12345", std::nullopt},
                      TakeCase{"stored_with_the_record_end", "QA#000100", std::nullopt},
                      TakeCase{"stored_cannot_advance", "AB999999", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// A blank is a character a number may hold: the lists keep it whole.
TEST_F(StoredNumbersTest, NumbersWithABlankSurviveTheLists) {
    settings.WriteSetting("SN", "QA 000100");
    const std::string number = Take();
    numbers.Settle(number, SerialFate::Unconfirmed);
    EXPECT_TRUE(numbers.Unconfirmed("QA 000100"));
    EXPECT_FALSE(numbers.Unconfirmed("QA"));
    EXPECT_EQ(numbers.Settle("QA 000100", SerialFate::Written), SerialFate::Written);
    EXPECT_TRUE(numbers.UnconfirmedNumbers().empty());
}

// A store written by an earlier version kept its unconfirmed numbers
// separated by blanks.
TEST_F(StoredNumbersTest, UnconfirmedListOfAnEarlierVersionIsRead) {
    settings.WriteSetting("Unconfirmed", "AB000003 AB000007");
    EXPECT_TRUE(numbers.Unconfirmed("AB000003"));
    EXPECT_TRUE(numbers.Unconfirmed("AB000007"));
    EXPECT_EQ(numbers.Settle("AB000003", SerialFate::Written), SerialFate::Written);
    EXPECT_EQ(numbers.UnconfirmedNumbers(), std::vector<std::string>{"AB000007"});
}

// The ways back into a series: a number at or behind the highest one the
// series handed out needs --force, whatever series was stored in between.
struct WayInCase {
    const char* name;
    std::vector<std::string> writtenFirst;  // taken and written, in order, before
    std::vector<std::string> storedBetween;  // --set-sn before the one tried
    std::string tried;
    bool force;
    bool accepted;
    long reopened;  // with --force
};

class WaysIn : public StoredNumbersTest, public ::testing::WithParamInterface<WayInCase> {};

TEST_P(WaysIn, GoingBackInASeriesNeedsForce) {
    const WayInCase& row = GetParam();
    for (const auto& number : row.writtenFirst) {
        numbers.SetNext(number, true);
        numbers.Settle(Take(), SerialFate::Written);
    }
    for (const auto& between : row.storedBetween)
        numbers.SetNext(between, false);
    if (!row.accepted) {
        EXPECT_ANY_THROW(numbers.SetNext(row.tried, row.force));
        EXPECT_NE(numbers.Next(), row.tried);
        return;
    }
    EXPECT_EQ(numbers.SetNext(row.tried, row.force).reopened, row.reopened);
    EXPECT_EQ(numbers.Next(), row.tried);
}

INSTANTIATE_TEST_SUITE_P(
    Series, WaysIn,
    ::testing::Values(
        WayInCase{"ahead", {"QA000100"}, {}, "QA000105", false, true, 0},
        WayInCase{"the_next_one", {"QA000100"}, {}, "QA000101", false, true, 0},
        WayInCase{"behind", {"QA000100", "QA000101"}, {}, "QA000100", false, false, 0},
        WayInCase{"behind_forced", {"QA000100", "QA000101"}, {}, "QA000100", true, true, 2},
        // A station that alternates two products: the first series is remembered.
        WayInCase{"back_after_another_series",
                  {"QA000100", "QA000101"}, {"QB000001"}, "QA000100", false, false, 0},
        WayInCase{"back_after_another_series_forced",
                  {"QA000100", "QA000101"}, {"QB000001"}, "QA000101", true, true, 1},
        WayInCase{"on_after_another_series",
                  {"QA000100", "QA000101"}, {"QB000001"}, "QA000102", false, true, 0},
        WayInCase{"record_end_in_the_prefix", {}, {}, "QA#000100", true, false, 0},
        WayInCase{"too_short", {}, {}, "12345", true, false, 0},
        WayInCase{"seventeen_characters", {}, {}, "ABCDEFGHIJK000001", true, false, 0},
        WayInCase{"not_ascii", {}, {}, "\xC3\x84" "B000001", true, false, 0},
        WayInCase{"letters_at_the_end", {}, {}, "AB0000XY", true, false, 0},
        WayInCase{"cannot_advance", {}, {}, "AB999999", true, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Switching series and back the way the store is edited by hand: the series
// mark refuses the take itself.
TEST_F(StoredNumbersTest, TakeRefusesANumberBehindItsSeriesMarkStoredByHand) {
    settings.WriteSetting("SN", "QA000100");
    numbers.Settle(Take(), SerialFate::Written);
    numbers.Settle(Take(), SerialFate::Written);
    settings.WriteSetting("SN", "QA000100");  // as a hand edit would
    EXPECT_THROW(Take(), SerialNumberError);
    EXPECT_EQ(settings.ReadSetting("SN"), "QA000100");
}

// --force reopens numbers, but one that may be in a device (taken or
// unconfirmed) is never handed out again: it is passed over, and said.
TEST_F(StoredNumbersTest, ForcedBackOverAnUnconfirmedNumberPassesItOver) {
    settings.WriteSetting("SN", "QA000100");
    numbers.Settle(Take(), SerialFate::Written);
    const std::string lost = Take();
    numbers.Settle(lost, SerialFate::Unconfirmed);
    const SetNextReport report = numbers.SetNext("QA000100", true);
    EXPECT_EQ(report.reopened, 2);
    EXPECT_EQ(report.passedOver, std::vector<std::string>{"QA000101"});

    EXPECT_EQ(Take(), "QA000100") << "reopened by the operator";
    const TakenNumber next = numbers.Take("COM1");
    EXPECT_EQ(next.number, "QA000102");
    EXPECT_EQ(next.passedOver, std::vector<std::string>{"QA000101"});
    EXPECT_TRUE(numbers.Unconfirmed("QA000101")) << "still waiting for its device";
}

// Two ports giving back what they held, the later number first: no gap.
TEST_F(StoredNumbersTest, HeldNumbersGoBackHighestFirst) {
    settings.WriteSetting("SN", "AB000010");
    const std::string a = Take();
    const std::string b = Take();
    EXPECT_EQ(numbers.Settle(b, SerialFate::NotSent), SerialFate::NotSent);
    EXPECT_EQ(numbers.Settle(a, SerialFate::NotSent), SerialFate::NotSent);
    EXPECT_EQ(settings.ReadSetting("SN"), "AB000010");
    EXPECT_EQ(Take(), "AB000010") << "the series mark went back with them";
}

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
                const std::string number = numbers.Take("P" + std::to_string(p)).number;
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
