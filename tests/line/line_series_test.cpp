// One station's serial numbers from the line: joining a series, numbers given
// back going out first, numbers a device may hold never again, the station's
// own store following the line, and what happens when the line is away or a
// reservation's outcome is unknown.
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "app/serial_number.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "line/line_database.h"
#include "line/line_error.h"
#include "line/line_marks.h"
#include "line/line_schema.h"
#include "line/line_serial_numbers.h"
#include "line/serial_series.h"
#include "line_fixture.h"
#include "tcp_proxy.h"

namespace comflash::testing {
namespace {

using line::LineDatabase;
using line::LineSerialNumbers;
using line::LineUnreachable;

class LineNumbersTest : public ::testing::Test {
protected:
    void SetUp() override { station.Use(); }

    // The station on the line at `conninfo`, once the line answers.
    void Start(const std::string& conninfo) {
        line = std::make_unique<LineDatabase>(conninfo, "st-a", SettingsFolder());
        numbers = std::make_unique<LineSerialNumbers>(*line, settings);
    }
    void StartConnected() {
        Start(database.Conninfo());
        ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    }

    // What another station does to the line.
    line::PgConnection& Other() {
        if (!other_) {
            other_ = std::make_unique<line::PgConnection>(database.Conninfo());
            line::EnsureLineSchema(*other_);
        }
        return *other_;
    }
    std::string State(const std::string& number) {
        return QueryText(database.Conninfo(),
                         "SELECT state FROM comflash_serial_numbers "
                         "WHERE prefix || lpad(value::text, 6, '0') = $1",
                         {number});
    }

    ScratchDatabase database;
    StationFolder station{"a"};
    SettingsStore settings;
    std::unique_ptr<LineDatabase> line;
    std::unique_ptr<LineSerialNumbers> numbers;

private:
    std::unique_ptr<line::PgConnection> other_;
};

struct JoinCase {
    const char* name;
    std::optional<std::pair<std::string, int>> lineSeries;  // a series the line has already
    std::string stored;                                     // the station's own next number
    std::string taken;
    std::string storedAfter;
};

class Join : public LineNumbersTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(Join, TakesTheHigherOfTheLinesAndTheStationsNextNumber) {
    const JoinCase& row = GetParam();
    if (row.lineSeries)
        line::JoinSeries(Other(), row.lineSeries->first, row.lineSeries->second);
    settings.WriteSetting("SN", row.stored);
    StartConnected();
    EXPECT_EQ(numbers->Take("COM1").number, row.taken);
    EXPECT_EQ(settings.ReadSetting("SN"), row.storedAfter) << "the station follows the line";
    EXPECT_EQ(numbers->Take("COM2").number, AdvanceSerialNumber(row.taken));
}

INSTANTIATE_TEST_SUITE_P(
    Series, Join,
    ::testing::Values(
        JoinCase{"series_new_to_the_line", std::nullopt, "QA000100", "QA000100", "QA000101"},
        // Stations that split a range by hand, or one that ran ahead alone.
        JoinCase{"station_ahead_of_the_line", std::pair{std::string("QA"), 200}, "QA000300",
                 "QA000300", "QA000301"},
        JoinCase{"station_behind_the_line", std::pair{std::string("QA"), 200}, "QA000100",
                 "QA000200", "QA000201"},
        JoinCase{"line_has_only_another_series", std::pair{std::string("QB"), 500}, "QA000100",
                 "QA000100", "QA000101"},
        JoinCase{"numbers_without_a_prefix", std::nullopt, "000042", "000042", "000043"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineNumbersTest, NumberGivenBackGoesOutBeforeANewOneAndAHeldOneNeverAgain) {
    settings.WriteSetting("SN", "QA000100");
    StartConnected();
    const std::string a = numbers->Take("COM1").number;
    const std::string b = numbers->Take("COM2").number;
    ASSERT_EQ(a, "QA000100");
    ASSERT_EQ(b, "QA000101");

    numbers->Settle(a, SerialFate::Refused);
    EXPECT_EQ(numbers->Next(), a);
    EXPECT_EQ(numbers->Take("COM1").number, a) << "refused: the device holds nothing";
    numbers->Settle(a, SerialFate::NotSent);
    EXPECT_EQ(numbers->Take("COM1").number, a) << "never sent: the device holds nothing";
    numbers->Settle(a, SerialFate::Written);
    numbers->Settle(b, SerialFate::Unconfirmed);

    std::set<std::string> later;
    for (int i = 0; i < 5; ++i) {
        const std::string number = numbers->Take("COM1").number;
        later.insert(number);
        numbers->Settle(number, SerialFate::Written);
    }
    EXPECT_EQ(later.count(a) + later.count(b), 0u) << "a device may hold them";
    EXPECT_EQ(*later.begin(), "QA000102");
    EXPECT_EQ(State(a), "written");
    EXPECT_EQ(State(b), "unconfirmed");
}

// A station joining ahead of the line may have written any number below its
// own on its own: a number another station gave back may be in its devices.
TEST_F(LineNumbersTest, NumbersGivenBackAreGivenUpWhenAStationAheadJoins) {
    const auto given = line::ReserveNumber(Other(), "QA", 100, "st-b", "COM1");
    line::SettleReservation(Other(), given.id, SerialFate::Refused);
    settings.WriteSetting("SN", "QA000300");
    StartConnected();
    EXPECT_EQ(numbers->Take("COM1").number, "QA000300");
    EXPECT_EQ(State("QA000100"), "skipped");
    EXPECT_EQ(numbers->Take("COM1").number, "QA000301");
}

TEST_F(LineNumbersTest, ExplicitJoinShowsTheSeriesWithoutTakingANumber) {
    line::JoinSeries(Other(), "QA", 250);
    settings.WriteSetting("SN", "QA000100");
    StartConnected();
    EXPECT_EQ(numbers->Join(), "QA000250");
    EXPECT_EQ(settings.ReadSetting("SN"), "QA000250");
    EXPECT_EQ(QueryText(database.Conninfo(), "SELECT count(*) FROM comflash_serial_numbers"), "0");
}

TEST_F(LineNumbersTest, StationWithoutAStartingNumberIsToldWhereToStoreIt) {
    StartConnected();
    try {
        numbers->Take("COM1").number;
        FAIL() << "a number was taken without a series";
    } catch (const SerialNumberError& e) {
        const std::string said = e.what();
        EXPECT_NE(said.find("--set-sn"), std::string::npos) << said;
        EXPECT_NE(said.find(settings.Location()), std::string::npos) << said;
    }
}

// Writing numbers of a series the station provisioned through the line from
// its own store would repeat other stations' numbers.
TEST_F(LineNumbersTest, StationRemembersTheSeriesItTookThroughTheLine) {
    settings.WriteSetting("SN", "QA000100");
    EXPECT_NO_THROW(line::CheckStandaloneWrite(settings, "QA000100", false));
    StartConnected();
    numbers->Settle(numbers->Take("COM1").number, SerialFate::Written);
    line.reset();

    EXPECT_TRUE(line::ProvisionedThroughLine(settings, "QA"));
    EXPECT_FALSE(line::ProvisionedThroughLine(settings, "QB"));
    EXPECT_THROW(line::CheckStandaloneWrite(settings, "QA000101", false), SerialNumberError);
    EXPECT_NO_THROW(line::CheckStandaloneWrite(settings, "QA000101", true));
    EXPECT_NO_THROW(line::CheckStandaloneWrite(settings, "QB000001", false));

    StationFolder another("b");
    another.Use();
    EXPECT_FALSE(line::ProvisionedThroughLine(settings, "QA")) << "the mark is the station's own";
}

// Nothing answers: a front end asking for a number learns it at once, in a
// way of its own, and can keep asking whether the line is back.
TEST_F(LineNumbersTest, LineThatCannotBeReachedFailsFastAndDistinctly) {
    settings.WriteSetting("SN", "QA000100");
    TcpProxy closed(1);  // relays to a port where nothing listens
    Start(database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(closed.Port()));
    EXPECT_FALSE(line->WaitAvailable(std::chrono::milliseconds(500)));
    EXPECT_FALSE(line->Available());
    EXPECT_THROW(numbers->Take("COM1").number, SerialSourceAway);
    EXPECT_THROW(numbers->Next(), LineUnreachable);
    EXPECT_FALSE(line->Problem().empty());
    EXPECT_EQ(settings.ReadSetting("SN"), "QA000100");
}

// The connection breaks after the reservation reached the server and before
// its reply: the station cannot know whether it was committed, so the number
// is never sent; if it was committed it stays reserved, a gap for good.
TEST_F(LineNumbersTest, ReservationWithAnUnknownOutcomeIsNeverSentAndBecomesAGap) {
    settings.WriteSetting("SN", "QA000100");
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    Start(database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port()));
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    numbers->Settle(numbers->Take("COM1").number, SerialFate::Written);

    relay.CutAtRequest("FROM comflash_reserve(");
    EXPECT_THROW(numbers->Take("COM1").number, SerialSourceAway);
    ASSERT_TRUE(WaitFor([&] { return State("QA000101") == "reserved"; }, std::chrono::seconds(10)))
        << "the server committed the reservation";

    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    EXPECT_EQ(numbers->Take("COM1").number, "QA000102");
    EXPECT_EQ(State("QA000101"), "reserved") << "never settled, never handed out";
}

// A link that stops answering costs a reservation a few seconds, not a hang;
// the station then carries on over a new connection.
TEST_F(LineNumbersTest, ReservationWithoutAReplyGivesUpInBoundedTime) {
    settings.WriteSetting("SN", "QA000100");
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    Start(database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port()));
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    relay.HoldRepliesFrom("FROM comflash_reserve(");
    EXPECT_THROW(numbers->Take("COM1").number, SerialSourceAway);
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    EXPECT_EQ(numbers->Take("COM1").number, "QA000101") << "QA000100 may be in a device: a gap";
}

// A device that comes back holding a number whose fate the line does not
// know confirms it there, whichever station or run took it; while the line
// is away the question has no answer, which is not a "no".
TEST_F(LineNumbersTest, NumberOfUnknownFateIsConfirmedByItsDeviceAndNeverJudgedWithoutTheLine) {
    settings.WriteSetting("SN", "QA000100");
    TcpProxy relay(std::stoi(QueryText(database.Conninfo(), "SHOW port")));
    Start(database.Conninfo() + " host=127.0.0.1 port=" + std::to_string(relay.Port()));
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    numbers->Settle(numbers->Take("COM1").number, SerialFate::Unconfirmed);
    numbers->Settle(numbers->Take("COM1").number, SerialFate::Written);
    EXPECT_TRUE(numbers->Unconfirmed("QA000100"));
    EXPECT_FALSE(numbers->Unconfirmed("QA000101")) << "written";
    EXPECT_FALSE(numbers->Unconfirmed("QA000999")) << "never handed out";
    EXPECT_FALSE(numbers->Unconfirmed("QA00010X")) << "no number of a series";

    relay.CutAtRequest("SELECT count(*) FROM comflash_serial_numbers");
    EXPECT_THROW(numbers->Unconfirmed("QA000100"), SerialSourceAway);

    // Another station, or a later run: it knows the number only from the line.
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    LineSerialNumbers later(*line, settings);
    EXPECT_TRUE(later.Unconfirmed("QA000100"));
    // The confirmation reached the server, its reply did not: the station
    // cannot tell, and confirming again changes nothing.
    relay.CutAtRequest("SET state = 'written'");
    EXPECT_THROW(later.Settle("QA000100", SerialFate::Written), SerialSourceAway);
    ASSERT_TRUE(line->WaitAvailable(Patience(std::chrono::seconds(30)))) << line->Problem();
    later.Settle("QA000100", SerialFate::Written);
    EXPECT_EQ(State("QA000100"), "written");
    EXPECT_FALSE(later.Unconfirmed("QA000100"));
}

}  // namespace
}  // namespace comflash::testing
