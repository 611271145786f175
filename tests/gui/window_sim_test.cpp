// The window end to end: the real comflash-sim plays devices on a
// pseudo-terminal that the port map puts behind COM1, and the window updates
// them as an operator would run it.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "tests/gui/window_fixture.h"
#include "tests/sim/json_lines.h"
#include "tests/sim/sim_process.h"
#include "tests/support/test_paths.h"

namespace comflash::guitest {
namespace {

// A device takes a few seconds (most of it the simulator's quiet time before
// the next device); a loaded machine may take many times that.
const int kBatchPatienceMs = testing::PatienceMs(180000);

using simtest::ReadJsonLines;
using simtest::SimProcess;

class WindowAgainstSimulator : public WindowTest {
protected:
    std::filesystem::path Report() const { return work_.Path() / "report.jsonl"; }

    // The simulator's devices, each with what it stored compared with the
    // firmware the tool was built with.
    std::unique_ptr<SimProcess> StartSimulator(int devices, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {
            "--devices",   std::to_string(devices),
            "--version",   "3",
            "--expect",    testing::TestPath("COMFLASH_EXPECTED_IMAGE_PATH"),
            "--report",    Report().string(),
            "--quiet-end", simtest::QuietEnd(simtest::Millis{2000})};
        arguments.insert(arguments.end(), more.begin(), more.end());
        auto simulator = std::make_unique<SimProcess>(arguments, work_.Path() / "sim.err");
        port_ = simulator->NextPath();
        return simulator;
    }
    std::filesystem::path Link() const { return work_.Path() / "port"; }

    // The simulator ends once its last device is done and reported; the
    // window's event loop runs while the report fills.
    int AwaitSimulatorEnd(SimProcess& simulator, std::size_t devices) const {
        if (!QTest::qWaitFor([&] { return ReadJsonLines(Report()).size() >= devices; },
                             kBatchPatienceMs)) {
            return -1;
        }
        return simulator.Wait();
    }

    void ExpectEveryDeviceHoldsTheFirmware(std::size_t devices) const {
        const auto report = ReadJsonLines(Report());
        ASSERT_EQ(report.size(), devices);
        for (const auto& device : report) {
            EXPECT_EQ(device["outcome"].String(), "updated");
            EXPECT_TRUE(device["image_equal"].Bool()) << "device " << device["device"].Int();
        }
    }

    int LinesEndingWith(const char* suffix) const {
        const QStringList lines = LogLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
            return line.endsWith(QLatin1String(suffix));
        }));
    }

    const std::string& SimulatorPort() const { return port_; }

private:
    simtest::TempDir work_;
    std::string port_;
};

// As described, and with quick turnaround chosen on the command line.
class WindowBatch : public WindowAgainstSimulator, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowBatch, WithAutoTickedUpdatesTheBatchWithoutASingleBox) {
    const auto simulator = StartSimulator(2);
    MapPort("COM1", SimulatorPort());
    TForm1& window = Start();
    window.SetQuickTurnaround(GetParam());
    window.show();
    window.SelAuto->click();
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text() == "Ok:2"; }, kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(AwaitSimulatorEnd(*simulator, 2), 0) << simulator->Stderr();

    EXPECT_EQ(window.Label2->text(), "Err:0");
    EXPECT_EQ(LinesEndingWith(" Start..."), 2);
    EXPECT_EQ(LinesEndingWith(" ...End"), 2);
    EXPECT_EQ(LogLines().size(), 5) << LogLines().join('\n').toStdString();
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
    ExpectEveryDeviceHoldsTheFirmware(2);
}

INSTANTIATE_TEST_SUITE_P(Turnaround, WindowBatch, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "Quick" : "Described");
});

TEST_F(WindowAgainstSimulator, WithAutoUntickedAsksBeforeAndAnnouncesAfterTheUpdate) {
    const auto simulator = StartSimulator(1);
    MapPort("COM1", SimulatorPort());
    TForm1& window = Start();
    window.show();
    ASSERT_FALSE(window.SelAuto->isChecked());
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text() == "Ok:1"; }, kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(AwaitSimulatorEnd(*simulator, 1), 0) << simulator->Stderr();

    ASSERT_EQ(boxes_.Texts(), (QStringList{"Ready Update?", "Write Completed!"}));
    EXPECT_EQ(boxes_.Seen()[0].title, "Notice");
    EXPECT_EQ(boxes_.Seen()[1].title, "Completed");
    EXPECT_EQ(LinesEndingWith(" Start..."), 1);
    EXPECT_EQ(LinesEndingWith(" ...End"), 1);
    EXPECT_EQ(window.Label2->text(), "Err:0");
    ExpectEveryDeviceHoldsTheFirmware(1);
}

TEST_F(WindowAgainstSimulator, APortThatVanishesEndsItsRunAndOpensAgainOnceTheDeviceIsBack) {
    // The line disappears at block 512 and comes back half a second later.
    const auto simulator = StartSimulator(2, {"--fault", "1:vanish:512", "--link", Link().string(),
                                              "--return-delay", "500", "--host-timeout", "12000"});
    MapPort("COM1", Link().string());
    TForm1& window = Start();
    window.show();
    window.SelAuto->click();
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes_.Texts().contains("Command Overtimer!"); },
                                kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(LinesEndingWith(" ...End"), 0);
    window.Button1->click();  // Close
    ASSERT_FALSE(window.PortOpen());
    window.Button1->click();  // Open again: the device is back
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text() == "Ok:1"; }, kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(AwaitSimulatorEnd(*simulator, 2), 0) << simulator->Stderr();
    const auto report = ReadJsonLines(Report());
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0]["outcome"].String(), "vanished");
    EXPECT_TRUE(report[1]["image_equal"].Bool());
}

}  // namespace
}  // namespace comflash::guitest
