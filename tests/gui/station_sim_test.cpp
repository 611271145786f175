// The station window end to end: one comflash-sim per port, the window runs
// them all at once as the operator at a fixture would, and no box ever opens.
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <set>

#include "tests/gui/station_fixture.h"
#include "tests/gui/station_lines.h"
#include "tests/support/child_process.h"
#include "tests/support/test_paths.h"

namespace comflash::guitest {
namespace {


// The first device of a line plays its fault; the second waits a minute, so
// that the tile keeps the first one's state while the test reads it.
std::vector<std::string> OneDeviceThenPause(std::vector<std::string> fault = {}) {
    std::vector<std::string> arguments = {"--devices", "2", "--power-up-delay", "60000"};
    arguments.insert(arguments.end(), fault.begin(), fault.end());
    return arguments;
}

class StationAgainstSimulators : public StationTest {
protected:
    SimLines lines_;
};

TEST_F(StationAgainstSimulators, FourLinesEachEndAsTheirFaultPredictsAndTheTotalsAddUp) {
    SimLine& good = lines_.Start("good", OneDeviceThenPause());
    SimLine& checksum =
        lines_.Start("checksum", OneDeviceThenPause({"--fault", "1:wrong-checksum"}));
    SimLine& init = lines_.Start("init", OneDeviceThenPause({"--fault", "1:init-refused"}));
    // The line vanishes for good in the middle of the transfer, its only device with it.
    SimLine& vanish = lines_.Start("vanish", {"--devices", "1", "--fault", "1:vanish:1024"});
    MapPort("COM1", good.port);
    MapPort("COM2", checksum.port);
    station::StationWindow& window =
        StartStation({.run = {.ports = {"COM1", "COM2", init.port, vanish.port}}});
    window.show();
    const QString picture = QString::fromStdString((lines_.Path("station.png")).string());
    std::optional<bool> saved;
    window.PictureAfter(4, picture, [&](bool ok) { saved = ok; });
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return saved.has_value(); }, kBatchPatienceMs))
        << "finished: " << FinishedDevices();
    EXPECT_TRUE(*saved);
    EXPECT_EQ(FinishedStates(0), QStringList{"good"});
    EXPECT_EQ(FinishedStates(1), QStringList{"failed: Write Err"});
    EXPECT_EQ(FinishedStates(2), QStringList{"failed: Init EEP Err"});
    EXPECT_EQ(FinishedStates(3), QStringList{"port lost"});
    EXPECT_EQ(Tile(0).StateText(), "good");
    EXPECT_EQ(Tile(1).StateText(), "failed: Write Err");
    EXPECT_EQ(Tile(2).StateText(), "failed: Init EEP Err");
    EXPECT_EQ(Tile(3).StateText(), "port lost");
    // Err counts as the window counts: a mismatch yes, a refused init no.
    EXPECT_EQ(Tile(0).CountersText(), "Ok:1  Err:0");
    EXPECT_EQ(Tile(1).CountersText(), "Ok:0  Err:1");
    EXPECT_EQ(Tile(2).CountersText(), "Ok:0  Err:0");
    EXPECT_EQ(Tile(3).CountersText(), "Ok:0  Err:0");
    EXPECT_EQ(window.TotalsText(), "finished 4: 1 good, 3 failed");
    EXPECT_EQ(Tile(0).SocketText().toStdString(), good.port) << "COM1 leads to the simulator";

    const QImage image(picture);
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window.size() * window.devicePixelRatio());
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
    for (const SimLine* line : {&good, &checksum, &init, &vanish}) {
        const auto report = SimLines::Report(*line, 1);
        ASSERT_FALSE(report.empty()) << line->report;
        EXPECT_TRUE(report[0]["as_expected"].Bool()) << line->report;
    }
}

TEST_F(StationAgainstSimulators, ATileClosedMidTransferStopsOnlyItsPort) {
    // At the line's own pace, long enough to close the first in the middle.
    SimLine& cut = lines_.Start("cut", OneDeviceThenPause({"--wire"}));
    SimLine& other = lines_.Start("other", OneDeviceThenPause({"--wire"}));
    station::StationWindow& window = StartStation({.run = {.ports = {cut.port, other.port}}});
    window.OpenAllButton()->click();
    // A tenth of the image is in the device.
    const QRegularExpression updating(QStringLiteral("^updating (\\d+) %$"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QRegularExpressionMatch match = updating.match(Tile(0).StateText());
            return match.hasMatch() && match.captured(1).toInt() >= 10;
        },
        kBatchPatienceMs))
        << Tile(0).StateText().toStdString();

    Tile(0).OpenCloseButton()->click();
    EXPECT_FALSE(Tile(0).IsOpen());
    EXPECT_TRUE(Tile(1).IsOpen());
    EXPECT_EQ(Tile(0).StateText(), "closed");
    EXPECT_EQ(Tile(0).Face().detail, "last device: failed: interrupted");
    EXPECT_EQ(Tile(0).OpenCloseButton()->text(), "Open");
    EXPECT_TRUE(window.CloseAllButton()->isEnabled()) << "the other port is still open";
    EXPECT_FALSE(window.SerialModeButton()->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedStates(1).size() == 1; }, kBatchPatienceMs));
    EXPECT_EQ(FinishedStates(1), QStringList{"good"});
    EXPECT_EQ(FinishedStates(0), QStringList{"failed: interrupted"});
    EXPECT_EQ(window.TotalsText(), "finished 2: 1 good, 1 failed");
    const auto report = SimLines::Report(other, 1);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_TRUE(report[0]["image_equal"].Bool());
    // Nothing reached the closed line's device after the close.
    const auto cutReport = SimLines::Report(cut, 1);
    ASSERT_EQ(cutReport.size(), 1u);
    EXPECT_FALSE(cutReport[0]["image_equal"].Bool());
}

TEST_F(StationAgainstSimulators, AVanishedLineMarksOnlyItsTileAndOpensAgainWhenItIsBack) {
    // The line disappears at block 512 and comes back under the same name.
    SimLine& vanishing = lines_.Start(
        "vanishing", {"--fault", "1:vanish:512", "--link", lines_.Path("fixture-1").string(),
                      "--return-delay", "500", "--host-timeout", "1000"});
    SimLine& steady = lines_.Start("steady", {});
    station::StationWindow& window =
        StartStation({.run = {.ports = {lines_.Path("fixture-1").string(), steady.port}}});
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedStates(0).size() >= 2; }, kBatchPatienceMs))
        << FinishedStates(0).join('|').toStdString();
    EXPECT_EQ(FinishedStates(0).mid(0, 2), (QStringList{"port lost", "good"}));
    EXPECT_EQ(PortStates(0).mid(0, 3),
              (QStringList{"waiting for a device", "port lost", "waiting for a device"}));
    EXPECT_EQ(PortStates(1), QStringList{"waiting for a device"})
        << "the other tile was not touched";
    EXPECT_FALSE(FinishedStates(1).contains("port lost"));
    EXPECT_FALSE(Tile(0).LogLines().filter("the port is back").isEmpty());
    const auto report = SimLines::Report(vanishing, 2);
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report[0]["outcome"].String(), "vanished");
    EXPECT_TRUE(report[1]["image_equal"].Bool());
}

TEST_F(StationAgainstSimulators, SerialNumbersGoOneToADeviceOverAllPorts) {
    Store("SN", "QA000100");
    std::vector<SimLine*> lines;
    for (const char* name : {"a", "b", "c"})
        lines.push_back(&lines_.Start(name, {"--devices", "2", "--power-up-delay", "200"}));
    const std::string record = lines_.Path("record.jsonl").string();
    station::StationWindow& window =
        StartStation({.run = {.ports = {lines[0]->port, lines[1]->port, lines[2]->port},
                      .writeSerialNumbers = true,
                      .record = record}});
    EXPECT_TRUE(window.SerialModeButton()->isChecked());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.NextSerialNumberText() == "next serial number: QA000100"; },
        kPatienceMs));
    window.OpenAllButton()->click();
    EXPECT_FALSE(window.UpdateModeButton()->isEnabled()) << "the mode holds while ports are open";
    EXPECT_FALSE(window.SetWritingSerialNumbers(false));

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedDevices() == 6; }, kBatchPatienceMs))
        << window.TotalsText().toStdString();
    EXPECT_EQ(window.TotalsText(), "finished 6: 6 good, 0 failed");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.NextSerialNumberText() == "next serial number: QA000106"; },
        kPatienceMs))
        << window.NextSerialNumberText().toStdString();
    std::set<std::string> numbers;
    for (SimLine* line : lines) {
        for (const auto& device : SimLines::Report(*line, 2))
            numbers.insert(device["serial_record"].String());
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"QA000100#", "QA000101#", "QA000102#", "QA000103#",
                                              "QA000104#", "QA000105#"}));
    const auto written = simtest::ReadJsonLines(record);
    ASSERT_EQ(written.size(), 6u);
    for (const auto& device : written)
        EXPECT_EQ(device["serial_fate"].String(), "written");
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();

    window.CloseAllButton()->click();
    EXPECT_TRUE(window.UpdateModeButton()->isEnabled());
    EXPECT_EQ(window.StatusText(), "serial numbers written: QA000100 to QA000105 (6); refused: 0");
}

// Every port writes at once, each device saying hello once only: none waits
// on another port's device, so none leaves without a number.
TEST_F(StationAgainstSimulators, EveryTileServesDevicesThatSayHelloOnce) {
    Store("SN", "QA000100");
    std::vector<SimLine*> lines;
    for (const char* name : {"a", "b"}) {
        lines.push_back(&lines_.Start(
            name, {"--devices", "3", "--power-up-delay", "200", "--hello-once", "1500"}));
    }
    station::StationWindow& window = StartStation(
        {.run = {.ports = {lines[0]->port, lines[1]->port}, .writeSerialNumbers = true}});
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedDevices() == 6; }, kBatchPatienceMs))
        << window.TotalsText().toStdString();
    EXPECT_EQ(window.TotalsText(), "finished 6: 6 good, 0 failed");
    std::set<std::string> numbers;
    for (SimLine* line : lines) {
        for (const auto& device : SimLines::Report(*line, 3)) {
            EXPECT_EQ(device["outcome"].String(), "serial-written");
            numbers.insert(device["serial_record"].String());
        }
    }
    EXPECT_EQ(numbers.size(), 6u) << "no number in two devices";
}

// The command line's rules reach every tile: a device that holds a number is
// written over with --overwrite-sn, a record the device stored wrongly fails
// its read-back with --verify-sn, and both run with quick turnaround.
TEST_F(StationAgainstSimulators, TheSerialNumberRulesOfTheCommandLineReachEveryTile) {
    Store("SN", "QA000100");
    SimLine& holding = lines_.Start("holding", {"--device-serial", "1:QA000042"});
    SimLine& misstoring = lines_.Start("misstoring", {"--fault", "1:wrong-record:serial"});
    station::StationWindow& window =
        StartStation({.run = {.ports = {holding.port, misstoring.port},
                      .writeSerialNumbers = true,
                      .overwriteSerialNumbers = true,
                      .verifySerialNumbers = true,
                      .quickTurnaround = true}});
    window.OpenAllButton()->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return FinishedDevices() == 2; }, kBatchPatienceMs))
        << window.TotalsText().toStdString();
    EXPECT_EQ(FinishedStates(0), QStringList{"good"});
    EXPECT_EQ(FinishedStates(1), QStringList{"failed: SN unconfirmed"})
        << "the device holds a record other than the number sent";
    EXPECT_EQ(SimLines::Report(holding, 1)[0]["serial_record"].String().substr(0, 7), "QA00010")
        << "the number it held was written over";
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

// The program itself, as scripts/screenshot-station runs it.
TEST_F(StationAgainstSimulators, TheProgramOpensItsPortsTakesThePictureAndKeepsTheRecord) {
    SimLine& a = lines_.Start("a", OneDeviceThenPause());
    SimLine& b = lines_.Start("b", OneDeviceThenPause({"--fault", "1:wrong-checksum"}));
    const std::filesystem::path picture = lines_.Path("picture.png");
    const std::filesystem::path record = lines_.Path("record.jsonl");
    testing::ChildProcess program(
        testing::TestPath("COMFLASH_STATION_PATH"),
        {"-platform", "offscreen", "--port", a.port, "--port", b.port, "--open", "--screenshot",
         picture.string(), "--screenshot-after", "2", "--record", record.string()},
        lines_.Folder(), "station");
    ASSERT_EQ(program.Wait(std::chrono::milliseconds(kBatchPatienceMs)), 0) << program.Stderr();
    EXPECT_FALSE(QImage(QString::fromStdString(picture.string())).isNull());
    const auto lines = simtest::ReadJsonLines(record);
    ASSERT_EQ(lines.size(), 2u);
    std::set<std::pair<std::string, std::string>> results;
    for (const auto& line : lines)
        results.insert({line["port"].String(), line["result"].String()});
    EXPECT_EQ(results, (std::set<std::pair<std::string, std::string>>{
                           {a.port, "updated"}, {b.port, "checksum-mismatch"}}));
    EXPECT_EQ(Stored("Ports"), a.port + ";" + b.port);
}

}  // namespace
}  // namespace comflash::guitest
