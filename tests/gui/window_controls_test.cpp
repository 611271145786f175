// The operator's controls on real ports: Open/Close on a pseudo-terminal and
// on a device that is not there, Clear, Auto, the hidden serial-number
// buttons, and the device's frames reaching the controller through the port.
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "tests/gui/window_fixture.h"

namespace comflash::guitest {
namespace {

std::vector<std::uint8_t> Hello(std::uint8_t versionByte) {
    const std::uint8_t payload[] = {kHelloMarker, versionByte};
    return EncodeFrame(command::kHello, payload);
}

TEST_F(WindowTest, OpenAndCloseToggleTheWindowAndStoreThePortBothTimes) {
    PseudoTerminal device;
    MapPort("COM3", device.PortPath());
    TForm1& window = Start();
    window.ComboBox1->setCurrentIndex(2);
    window.TrackBar1->setValue(40);

    MarkSettings();
    window.Button1->click();
    ASSERT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
    EXPECT_TRUE(window.PortOpen());
    EXPECT_TRUE(window.Comm1.IsOpen());
    EXPECT_EQ(window.Comm1.CommName(), "COM3");
    EXPECT_EQ(window.Button1->text(), "Close");
    EXPECT_TRUE(window.BitBtn2->isEnabled());
    EXPECT_TRUE(window.BitBtn3->isEnabled());
    EXPECT_EQ(window.TrackBar1->value(), 0);
    EXPECT_TRUE(WrittenSinceMark());
    EXPECT_EQ(Stored("COM"), "2");

    // A new choice while open takes effect at the next Open; Close stores it.
    window.ComboBox1->setCurrentIndex(4);
    MarkSettings();
    window.Button1->click();
    EXPECT_FALSE(window.PortOpen());
    EXPECT_FALSE(window.Comm1.IsOpen());
    EXPECT_EQ(window.Button1->text(), "Open");
    EXPECT_FALSE(window.BitBtn2->isEnabled());
    EXPECT_FALSE(window.BitBtn3->isEnabled());
    EXPECT_TRUE(WrittenSinceMark());
    EXPECT_EQ(Stored("COM"), "4");
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

struct OpenFailureCase {
    const char* name;
    std::optional<std::string> storedPort;
    int selectIndex;  // -1: keep what start-up selected
    const char* expectedName;
    const char* logLine;  // the reason, below the box
};

class OpenFailure : public WindowTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailure, ShowsTheErrorBoxAndLeavesTheWindowClosedWithoutStoringThePort) {
    const OpenFailureCase& row = GetParam();
    MapPort("COM5", "/nonexistent/comflash-test-port");
    if (row.storedPort)
        Store("COM", *row.storedPort);
    TForm1& window = Start();
    if (row.selectIndex >= 0)
        window.ComboBox1->setCurrentIndex(row.selectIndex);
    window.Comm1.SetBaudRate(38400);
    window.TrackBar1->setValue(60);

    MarkSettings();
    window.Button1->click();

    ASSERT_EQ(boxes_.Seen().size(), 1u) << boxes_.Texts().join('|').toStdString();
    EXPECT_EQ(boxes_.Seen().front().title, "comflash");
    EXPECT_EQ(boxes_.Seen().front().text, "Error opening serial port.");
    EXPECT_EQ(boxes_.Seen().front().icon, QMessageBox::Critical);
    EXPECT_TRUE(window.Memo1->toPlainText().contains(QString(row.logLine)))
        << window.Memo1->toPlainText().toStdString();
    EXPECT_FALSE(window.PortOpen());
    EXPECT_EQ(window.Button1->text(), "Open");
    EXPECT_TRUE(window.Button1->isEnabled());
    EXPECT_FALSE(window.BitBtn2->isEnabled());
    EXPECT_FALSE(WrittenSinceMark());
    // The steps before the open stay done.
    EXPECT_EQ(window.TrackBar1->value(), 0);
    EXPECT_EQ(window.Comm1.BaudRate(), 9600u);
    EXPECT_EQ(window.Comm1.CommName(), row.expectedName);
}

INSTANTIATE_TEST_SUITE_P(
    Window, OpenFailure,
    ::testing::Values(OpenFailureCase{"MappedDeviceMissing",
                                      {},
                                      4,
                                      "COM5",
                                      "Error opening serial port: no such device "
                                      "/nonexistent/comflash-test-port (COM5 leads there "
                                      "through the port map "},
                      OpenFailureCase{"NoPortSelected", "40", -1, "",
                                      "Error opening serial port: no port selected"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, DeviceFramesReachTheControllerAndCountersOutliveClearAndClose) {
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    TForm1& window = Start();
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen()) << boxes_.Texts().join('|').toStdString();

    // A hello without a version digit is refused and counted.
    device.Write(Hello('0'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Label2->text() == "Err:1"; }, kPatienceMs));
    EXPECT_EQ(LogLines(), (QStringList{"Firmware Update Tools", "E0"}));

    // A version 3 hello is answered with the handshake reply.
    std::vector<std::uint8_t> reply;
    device.Write(Hello('3'));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto bytes = device.ReadAvailable();
            reply.insert(reply.end(), bytes.begin(), bytes.end());
            return reply.size() > 4;
        },
        kPatienceMs));
    EXPECT_EQ(reply[4], command::kHandshake);

    window.Button2->click();
    EXPECT_TRUE(LogLines().isEmpty());
    window.Button2->click();  // Clear on an empty log
    EXPECT_TRUE(LogLines().isEmpty());
    window.Button1->click();
    window.Button1->click();
    ASSERT_TRUE(window.PortOpen());
    EXPECT_EQ(window.Label1->text(), "Ok:0");
    EXPECT_EQ(window.Label2->text(), "Err:1");
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(WindowTest, AutoIsStoredAtEveryChange) {
    TForm1& window = Start();
    ASSERT_EQ(Stored("Auto"), "0");

    MarkSettings();
    window.SelAuto->click();
    EXPECT_TRUE(WrittenSinceMark());
    EXPECT_EQ(Stored("Auto"), "1");

    MarkSettings();
    window.SelAuto->click();
    EXPECT_TRUE(WrittenSinceMark());
    EXPECT_EQ(Stored("Auto"), "0");
}

TEST_F(WindowTest, ChoicesSurviveARestart) {
    PseudoTerminal device;
    MapPort("COM12", device.PortPath());
    Store("SN", "QL000041");
    TForm1& first = Start();
    first.SelAuto->click();
    first.ComboBox1->setCurrentIndex(11);
    first.Button1->click();
    ASSERT_TRUE(first.PortOpen()) << boxes_.Texts().join('|').toStdString();

    TForm1& second = Start();
    EXPECT_EQ(second.ComboBox1->currentText(), "COM12");
    EXPECT_TRUE(second.SelAuto->isChecked());
    EXPECT_EQ(second.Edit1->text(), "QL000041");
    EXPECT_FALSE(second.PortOpen());
    second.Button1->click();
    EXPECT_TRUE(second.PortOpen()) << "the first window must have let go of the port";
}

TEST_F(WindowTest, SerialNumberButtonsShowTheirRefusals) {
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    TForm1& window = Start();
    window.Button1->click();
    ASSERT_TRUE(window.BitBtn3->isEnabled());

    // The number written is the store's; the field only shows it.
    Store("SN", "12345");
    window.BitBtn3->click();
    Store("SN", "AB999999");
    window.BitBtn3->click();

    ASSERT_EQ(boxes_.Seen().size(), 2u) << boxes_.Texts().join('|').toStdString();
    EXPECT_EQ(boxes_.Seen()[0].title, "Notice");
    EXPECT_EQ(boxes_.Seen()[0].text, "Write SN Disable!");
    EXPECT_EQ(boxes_.Seen()[1].title, "comflash");
    EXPECT_EQ(boxes_.Seen()[1].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes_.Seen()[1].text.startsWith("Serial number AB999999"))
        << boxes_.Seen()[1].text.toStdString();

    // Sending goes through the transmit thread, so an empty line right now
    // proves nothing: a number that is written afterwards must be the first
    // thing the device receives.
    Store("SN", "AB12000345");
    window.BitBtn3->click();
    std::vector<std::uint8_t> sent;
    const std::size_t recordLength = 10 + std::string("AB12000345#").size() + 2;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto bytes = device.ReadAvailable();
            sent.insert(sent.end(), bytes.begin(), bytes.end());
            return sent.size() >= recordLength;
        },
        kPatienceMs));
    const std::string text(sent.begin(), sent.end());
    EXPECT_EQ(text.find("VTMAB12000345#"), 7u) << "something was sent before the record";
    EXPECT_EQ(sent.size(), recordLength) << "nothing may be sent for a refused number";
    EXPECT_EQ(Stored("SN"), "AB12000346") << "taken before the record left";
    EXPECT_EQ(window.Edit1->text(), "AB12000345") << "the field shows the number on its way";
}

// Write SN obeys what the other front ends obey: a series this station
// provisioned through the line database is not written from its own store.
TEST_F(WindowTest, WriteSerialNumberRefusesASeriesOfTheLine) {
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    Store("SN", "QA000100");
    Store("LineSeries", "QA\t");  // as the station keeps the series it took from the line
    TForm1& window = Start();
    window.Button1->click();
    window.BitBtn3->click();

    ASSERT_EQ(boxes_.Seen().size(), 1u) << boxes_.Texts().join('|').toStdString();
    EXPECT_EQ(boxes_.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes_.Seen()[0].text.contains("line")) << boxes_.Seen()[0].text.toStdString();
    EXPECT_EQ(Stored("SN"), "QA000100") << "nothing was taken";
}

TEST_F(WindowTest, PortListTipShowsTheDeviceTheSelectedNameOpens) {
    MapPort("COM2", "/dev/ttyUSB7");
    Store("COM", "1");
    TForm1& window = Start();

    const auto tip = [&] {
        QHelpEvent event(QEvent::ToolTip, QPoint(5, 5),
                         window.ComboBox1->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(window.ComboBox1, &event);
        return window.ComboBox1->toolTip();
    };
    EXPECT_EQ(tip(), "COM2 opens /dev/ttyUSB7");
    window.ComboBox1->setCurrentIndex(11);
    EXPECT_EQ(tip(), "COM12 opens /dev/ttyS11");
    window.ComboBox1->setCurrentIndex(-1);
    EXPECT_TRUE(tip().startsWith("No port selected"));
}

}  // namespace
}  // namespace comflash::guitest
