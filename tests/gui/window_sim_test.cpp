// The window end to end: the real comflash-sim plays devices on a
// pseudo-terminal that the port map puts behind COM1, and the window updates
// them as an operator would run it.
#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "tests/gui/window_fixture.h"

namespace comflash::guitest {
namespace {

// A device takes a few seconds (most of it the simulator's quiet time before
// the next device); a loaded machine may take many times that.
constexpr int kBatchPatienceMs = 180000;

class Simulator {
public:
    explicit Simulator(const QStringList& arguments, const QString& stderrFile) {
        process_.setStandardErrorFile(stderrFile);
        process_.start(QStringLiteral(COMFLASH_SIM_PATH), arguments);
        if (!process_.waitForStarted(kPatienceMs))
            throw std::runtime_error("comflash-sim does not start");
        QElapsedTimer waited;
        waited.start();
        while (!process_.canReadLine() && waited.elapsed() < kPatienceMs)
            process_.waitForReadyRead(1000);
        port_ = QString::fromUtf8(process_.readLine()).trimmed().toStdString();
        if (port_.empty())
            throw std::runtime_error("comflash-sim names no port");
    }
    ~Simulator() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kPatienceMs);
        }
    }

    const std::string& Port() const { return port_; }

    // Its exit status once it has played all its devices, the window's event
    // loop running meanwhile; -1 when it does not end in time.
    int AwaitExit() {
        if (!QTest::qWaitFor([&] { return process_.state() == QProcess::NotRunning; },
                             kBatchPatienceMs)) {
            return -1;
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

private:
    QProcess process_;
    std::string port_;
};

std::vector<QJsonObject> ReportLines(const QString& path) {
    std::vector<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

class WindowAgainstSimulator : public WindowTest {
protected:
    QString WorkFile(const char* name) const { return work_.filePath(QString::fromLatin1(name)); }

    // The simulator's devices, each with what it stored compared with the
    // firmware the tool was built with.
    QStringList SimulatorArguments(int devices) const {
        return {"--devices", QString::number(devices), "--version", "3",
                "--expect",  COMFLASH_FIRMWARE_PATH,   "--report",  WorkFile("report.jsonl")};
    }

    void ExpectEveryDeviceHoldsTheFirmware(std::size_t devices) const {
        const auto report = ReportLines(WorkFile("report.jsonl"));
        ASSERT_EQ(report.size(), devices);
        for (const QJsonObject& device : report) {
            EXPECT_EQ(device["outcome"].toString(), "updated");
            EXPECT_TRUE(device["image_equal"].toBool()) << "device " << device["device"].toInt();
        }
    }

    int LinesEndingWith(const char* suffix) const {
        const QStringList lines = LogLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
            return line.endsWith(QLatin1String(suffix));
        }));
    }

    QString SimulatorErrors() const {
        QFile file(WorkFile("sim.err"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir work_;
};

TEST_F(WindowAgainstSimulator, WithAutoTickedUpdatesTheBatchWithoutASingleBox) {
    Simulator simulator(SimulatorArguments(2), WorkFile("sim.err"));
    MapPort("COM1", simulator.Port());
    TForm1& window = Start();
    window.show();
    window.SelAuto->click();
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text() == "Ok:2"; }, kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(simulator.AwaitExit(), 0) << SimulatorErrors().toStdString();

    EXPECT_EQ(window.Label2->text(), "Err:0");
    EXPECT_EQ(LinesEndingWith(" Start..."), 2);
    EXPECT_EQ(LinesEndingWith(" ...End"), 2);
    EXPECT_EQ(LogLines().size(), 5) << LogLines().join('\n').toStdString();
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
    ExpectEveryDeviceHoldsTheFirmware(2);
}

TEST_F(WindowAgainstSimulator, WithAutoUntickedAsksBeforeAndAnnouncesAfterTheUpdate) {
    Simulator simulator(SimulatorArguments(1), WorkFile("sim.err"));
    MapPort("COM1", simulator.Port());
    TForm1& window = Start();
    window.show();
    ASSERT_FALSE(window.SelAuto->isChecked());
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Label1->text() == "Ok:1"; }, kBatchPatienceMs))
        << LogLines().join('\n').toStdString();
    EXPECT_EQ(simulator.AwaitExit(), 0) << SimulatorErrors().toStdString();

    ASSERT_EQ(boxes_.Texts(), (QStringList{"Ready Update?", "Write Completed!"}));
    EXPECT_EQ(boxes_.Seen()[0].title, "Notice");
    EXPECT_EQ(boxes_.Seen()[1].title, "Completed");
    EXPECT_EQ(LinesEndingWith(" Start..."), 1);
    EXPECT_EQ(LinesEndingWith(" ...End"), 1);
    EXPECT_EQ(window.Label2->text(), "Err:0");
    ExpectEveryDeviceHoldsTheFirmware(1);
}

}  // namespace
}  // namespace comflash::guitest
