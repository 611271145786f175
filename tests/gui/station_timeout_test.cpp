// Station tiles whose device stops answering: each row sits out the
// controller's reply time-out, beside a line whose device goes well.
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "tests/gui/station_fixture.h"
#include "tests/gui/station_lines.h"

namespace comflash::guitest {
namespace {

struct TimeoutCase {
    const char* name;
    bool writeSerialNumbers;
    std::vector<std::string> fault;
    const char* state;
    const char* detail;  // a pattern: with serial numbers, either port may go first
    const char* counters;
};

class StationTimeouts : public StationTest, public ::testing::WithParamInterface<TimeoutCase> {
protected:
    SimLines lines_;
};

TEST_P(StationTimeouts, ShowAsFailedOnTheirTileAndCountAsTheWindowCounts) {
    const TimeoutCase& row = GetParam();
    Store("SN", "QA000100");
    std::vector<std::string> faulty = {"--devices",      "2",    "--power-up-delay", "60000",
                                       "--host-timeout", "17000"};
    faulty.insert(faulty.end(), row.fault.begin(), row.fault.end());
    SimLine& silent = lines_.Start("silent", faulty);
    SimLine& good = lines_.Start("good", {"--devices", "2", "--power-up-delay", "60000"});
    station::StationWindow& window = StartStation(
        {.run = {.ports = {silent.port, good.port}, .writeSerialNumbers = row.writeSerialNumbers}});
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedDevices() == 2; }, kBatchPatienceMs))
        << Tile(0).LogLines().join('\n').toStdString();
    EXPECT_EQ(FinishedStates(0), QStringList{row.state});
    const QString detail = QString::fromStdString(Tile(0).Face().detail);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(row.detail)))
                    .match(detail)
                    .hasMatch())
        << detail.toStdString();
    EXPECT_EQ(Tile(0).CountersText(), row.counters) << "a time-out is never counted in Err";
    EXPECT_EQ(FinishedStates(1), QStringList{"good"}) << "the other port went on meanwhile";
    EXPECT_EQ(window.TotalsText(), "finished 2: 1 good, 1 failed");
    EXPECT_TRUE(Tile(0).LogLines().contains("Notice: Command Overtimer!"))
        << Tile(0).LogLines().join('\n').toStdString();
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, StationTimeouts,
                         ::testing::Values(TimeoutCase{"no_answer",
                                                       false,
                                                       {"--fault", "1:no-reply:init"},
                                                       "failed: no answer",
                                                       "Command Overtimer!",
                                                       "Ok:0  Err:0"},
                                           TimeoutCase{"refused_block",
                                                       false,
                                                       {"--fault", "1:block-refused:1024"},
                                                       "failed: Write 1024 Err!",
                                                       "Command Overtimer!",
                                                       "Ok:0  Err:1"},
                                           TimeoutCase{
                                               "lost_acknowledgement",
                                               true,
                                               {"--fault", "1:stored-no-reply:serial"},
                                               "failed: SN unconfirmed",
                                               "SN QA00010[01] unconfirmed: set the device aside",
                                               "Ok:0  Err:0"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::guitest
