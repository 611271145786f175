// The station window without simulators: its ports and mode, what it keeps
// in the settings, and what a tile says when its port cannot be used.
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "tests/gui/station_fixture.h"

namespace comflash::guitest {
namespace {


TEST_F(StationTest, PortsGivenAreRememberedForTheNextStart) {
    StartStation({.run = {.ports = {"COM3", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"}}});
    EXPECT_EQ(Stored("Ports"), "COM3;/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");

    station::StationWindow& again = StartStation();
    ASSERT_EQ(again.Tiles().size(), 2u);
    EXPECT_EQ(Tile(0).Port(), "COM3");
    EXPECT_EQ(Tile(1).Port(), "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(Tile(0).StateText(), "closed");
}

TEST_F(StationTest, WithoutPortsSaysWhereToPickThem) {
    station::StationWindow& window = StartStation();
    EXPECT_TRUE(window.Tiles().empty());
    EXPECT_FALSE(window.OpenAllButton()->isEnabled());
    EXPECT_EQ(window.StatusText(), "No ports chosen: pick them under Ports.");
    ASSERT_TRUE(window.SetPorts({"COM2", "COM1", "COM2"}));
    ASSERT_EQ(window.Tiles().size(), 2u);
    EXPECT_EQ(Stored("Ports"), "COM2;COM1");
}

TEST_F(StationTest, PortsArePickedFromThePortListOrByTheirPath) {
    MapPort("COM3", "/dev/ttyUSB7");
    station::StationWindow& window = StartStation({.run = {.ports = {"COM1"}}});
    QMenu* menu = window.PortsButton()->menu();
    emit menu->aboutToShow();
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 32);
    EXPECT_EQ(actions[2]->text(), "COM3  (/dev/ttyUSB7)") << "the port map, as the others read it";
    EXPECT_TRUE(actions[0]->isChecked());
    actions[2]->trigger();
    EXPECT_EQ(window.Ports(), (std::vector<std::string>{"COM1", "COM3"}));

    emit menu->aboutToShow();
    auto* field = menu->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setText(QStringLiteral(" /dev/ttyACM0 "));
    emit field->returnPressed();
    EXPECT_EQ(window.Ports(), (std::vector<std::string>{"COM1", "COM3", "/dev/ttyACM0"}));
    ASSERT_EQ(window.Tiles().size(), 3u);
    EXPECT_EQ(Tile(2).Port(), "/dev/ttyACM0");

    emit menu->aboutToShow();
    menu->actions()[0]->trigger();  // COM1 off
    EXPECT_EQ(window.Ports(), (std::vector<std::string>{"COM3", "/dev/ttyACM0"}));
    EXPECT_EQ(Stored("Ports"), "COM3;/dev/ttyACM0");
}

TEST_F(StationTest, ModeAndPortsHoldStillWhileAnyPortIsOpen) {
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    station::StationWindow& window = StartStation({.run = {.ports = {"COM1", "COM2"}}});
    Tile(0).OpenCloseButton()->click();
    ASSERT_TRUE(Tile(0).IsOpen());
    EXPECT_EQ(Tile(0).StateText(), "waiting for a device");

    EXPECT_FALSE(window.SerialModeButton()->isEnabled());
    EXPECT_FALSE(window.PortsButton()->isEnabled());
    EXPECT_FALSE(window.SetWritingSerialNumbers(true));
    EXPECT_FALSE(window.SerialModeButton()->isChecked());
    EXPECT_FALSE(window.SetPorts({"COM5"}));
    EXPECT_EQ(window.Tiles().size(), 2u);

    window.CloseAllButton()->click();
    EXPECT_FALSE(Tile(0).IsOpen());
    EXPECT_TRUE(window.SerialModeButton()->isEnabled());
    window.SerialModeButton()->click();
    EXPECT_TRUE(window.WritingSerialNumbers());
}

TEST_F(StationTest, APortThatCannotOpenSaysSoOnItsTileAndTheOthersOpen) {
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    MapPort("COM2", "/dev/comflash-no-such-device");
    station::StationWindow& window = StartStation({.run = {.ports = {"COM1", "COM2"}}});
    window.OpenAllButton()->click();
    EXPECT_TRUE(Tile(0).IsOpen());
    EXPECT_FALSE(Tile(1).IsOpen());
    EXPECT_EQ(Tile(1).StateText(), "cannot open: Error opening serial port");
    EXPECT_EQ(Tile(1).Face().tone, TileTone::Failed);
    EXPECT_TRUE(Tile(1).Face().detail.starts_with("no such device /dev/comflash-no-such-device"))
        << Tile(1).Face().detail;
    EXPECT_TRUE(window.StatusText().startsWith(
        "COM2: Error opening serial port: no such device /dev/comflash-no-such-device"))
        << window.StatusText().toStdString();
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(StationTest, SerialNumberModeShowsTheNextNumberAndRefusesOneItCannotWrite) {
    PseudoTerminal device;
    Store("SN", "QA000100");
    station::StationWindow& window =
        StartStation({.run = {.ports = {device.PortPath()}, .writeSerialNumbers = true}});
    // Asked of the store away from the window's thread.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.NextSerialNumberText() == "next serial number: QA000100"; },
        kPatienceMs))
        << window.NextSerialNumberText().toStdString();
    ASSERT_TRUE(window.SetWritingSerialNumbers(false));
    EXPECT_EQ(window.NextSerialNumberText(), "");

    Store("SN", "12345");
    ASSERT_TRUE(window.SetWritingSerialNumbers(true));
    window.OpenAllButton()->click();
    EXPECT_FALSE(Tile(0).IsOpen()) << "no port opens with a number that cannot be written";
    EXPECT_TRUE(window.StatusText().startsWith("Write SN Disable!"))
        << window.StatusText().toStdString();
}

TEST_F(StationTest, TheLogOfATileShowsOnDemand) {
    PseudoTerminal device;
    station::StationWindow& window = StartStation({.run = {.ports = {device.PortPath()}}});
    window.show();
    window.OpenAllButton()->click();
    // A hello of version 0: "E0", counted, and the device's run is over.
    device.Write(EncodeFrame(command::kHello, std::vector<std::uint8_t>{kHelloMarker, '0'}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Tile(0).LogLines() == QStringList{"E0"}; }, kPatienceMs));
    EXPECT_EQ(Tile(0).StateText(), "failed: E0");
    EXPECT_EQ(Tile(0).CountersText(), "Ok:0  Err:1");

    auto* log = Tile(0).findChild<QPlainTextEdit*>();
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(log->isVisible());
    Tile(0).LogButton()->click();
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->toPlainText(), "E0");
    Tile(0).LogButton()->click();
    EXPECT_FALSE(log->isVisible());
}

TEST_F(StationTest, WithoutAnImageNoPortOpens) {
    PseudoTerminal device;
    station::StationWindow& window = StartStation({.run = {.ports = {device.PortPath()}}}, kEmptyImage);
    EXPECT_FALSE(window.OpenAllButton()->isEnabled());
    EXPECT_FALSE(Tile(0).OpenCloseButton()->isEnabled());
    window.OpenAll();
    EXPECT_FALSE(Tile(0).IsOpen());
    EXPECT_EQ(window.StatusText(), "The tool holds no firmware image: no port can be opened.");
}

}  // namespace
}  // namespace comflash::guitest
