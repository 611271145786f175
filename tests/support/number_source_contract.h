// One table of a serial number's life, run against every number source (the
// settings store's and the line database's): every step a number may take,
// and every step it may not, which must raise and change nothing.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/serial_number.h"
#include "app/serial_number_source.h"

namespace comflash::testing {

// What a source's test gives the table: the source, a second one on the
// same store or line (another process or station), and the first number.
class NumberSourceUnderTest {
public:
    virtual ~NumberSourceUnderTest() = default;
    virtual SerialNumberSource& First() = 0;
    virtual SerialNumberSource& Second() = 0;
    virtual void StartAt(const std::string& number) = 0;
};

struct ContractCase {
    const char* name;
    std::function<void(NumberSourceUnderTest&)> run;
};

inline std::string Taken(SerialNumberSource& source) {
    return source.Take("COM1").number;
}

// A step the number's life does not allow raises, whatever the source.
#define EXPECT_STEP_REFUSED(source, number, fate) \
    EXPECT_THROW((source).Settle((number), (fate)), ::comflash::SerialStepError)

inline std::vector<ContractCase> NumberSourceContract() {
    return {
        {"TakesInOrder",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             EXPECT_EQ(Taken(t.First()), "CT000100");
             EXPECT_EQ(Taken(t.First()), "CT000101");
         }},
        {"WrittenOnceOnly",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             EXPECT_EQ(t.First().Settle(number, SerialFate::Written), SerialFate::Written);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Written);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Unconfirmed);
             EXPECT_NE(Taken(t.First()), number);
         }},
        {"RefusedGoesBack",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             EXPECT_EQ(t.First().Settle(number, SerialFate::Refused), SerialFate::Refused);
             EXPECT_EQ(Taken(t.First()), number);
         }},
        {"NotSentGoesBack",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             EXPECT_EQ(t.First().Settle(number, SerialFate::NotSent), SerialFate::NotSent);
             EXPECT_EQ(Taken(t.First()), number);
         }},
        {"UnconfirmedNeverGoesOutAgainUntilItsDeviceConfirmsIt",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             EXPECT_EQ(t.First().Settle(number, SerialFate::Unconfirmed),
                       SerialFate::Unconfirmed);
             EXPECT_TRUE(t.First().Unconfirmed(number));
             EXPECT_TRUE(t.Second().Unconfirmed(number)) << "another process sees it too";
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::NotSent);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Refused);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Unconfirmed);
             EXPECT_NE(Taken(t.First()), number);
             // The device came back, to another process: it holds it.
             EXPECT_EQ(t.Second().Settle(number, SerialFate::Written), SerialFate::Written);
             EXPECT_FALSE(t.First().Unconfirmed(number));
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Written);
         }},
        {"StrayGiveBackAfterWrittenHandsNothingOutTwice",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             t.First().Settle(number, SerialFate::Written);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::NotSent);
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Refused);
             EXPECT_NE(Taken(t.First()), number);
         }},
        {"GiveBackAfterAnotherTakeNeverRepeatsTheLaterOne",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string first = Taken(t.First());
             const std::string later = Taken(t.Second());
             const SerialFate fate = t.First().Settle(first, SerialFate::NotSent);
             const std::string next = Taken(t.First());
             EXPECT_NE(next, later);
             // Either it went back and out again first, or it is a named gap.
             if (fate == SerialFate::Skipped)
                 EXPECT_NE(next, first);
             else
                 EXPECT_EQ(fate, SerialFate::NotSent);
         }},
        {"NumberNeverTakenHasNoSteps",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             EXPECT_STEP_REFUSED(t.First(), "CT000500", SerialFate::NotSent);
             EXPECT_STEP_REFUSED(t.First(), "CT000500", SerialFate::Refused);
             EXPECT_STEP_REFUSED(t.First(), "CT000500", SerialFate::Unconfirmed);
             EXPECT_STEP_REFUSED(t.First(), "CT000500", SerialFate::Written);
             EXPECT_FALSE(t.First().Unconfirmed("CT000500"));
         }},
        {"SkippedIsAnOutcomeNotAStep",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             const std::string number = Taken(t.First());
             EXPECT_STEP_REFUSED(t.First(), number, SerialFate::Skipped);
             EXPECT_EQ(t.First().Settle(number, SerialFate::Written), SerialFate::Written);
         }},
        {"TwoProcessesNeverTakeOneNumber",
         [](NumberSourceUnderTest& t) {
             t.StartAt("CT000100");
             std::vector<std::string> numbers;
             for (int i = 0; i < 6; ++i)
                 numbers.push_back(Taken(i % 2 == 0 ? t.First() : t.Second()));
             for (std::size_t i = 0; i < numbers.size(); ++i) {
                 for (std::size_t j = 0; j < i; ++j)
                     EXPECT_NE(numbers[i], numbers[j]);
             }
         }},
    };
}

}  // namespace comflash::testing
