// Start-up (FormCreate) against real settings files: what the window shows,
// what it restores and what it stores, and how a failed step ends it.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "app/settings_folder.h"
#include "tests/gui/window_fixture.h"

namespace comflash::guitest {
namespace {

TEST_F(WindowTest, FreshSettingsStartOnCom1WithAutoOffAndStoreOnlyAuto) {
    TForm1& window = Start();

    EXPECT_EQ(window.windowTitle(), "FW Update For QL42V1.31-N-20090724");
    EXPECT_EQ(window.ComboBox1->currentText(), "COM1");
    EXPECT_FALSE(window.SelAuto->isChecked());
    EXPECT_EQ(window.Edit1->text(), "");
    EXPECT_EQ(window.Edit2->text(), "");
    EXPECT_EQ(window.Label1->text(), "Ok:0");
    EXPECT_EQ(window.Label2->text(), "Err:0");
    EXPECT_EQ(LogLines(), QStringList{"Firmware Update Tools"});
    EXPECT_TRUE(window.Button1->isEnabled());
    EXPECT_EQ(window.Button1->text(), "Open");
    EXPECT_FALSE(window.BitBtn2->isEnabled());
    EXPECT_FALSE(window.BitBtn3->isEnabled());
    EXPECT_TRUE(window.CheckBox1->isChecked());
    EXPECT_FALSE(window.CheckBox3->isChecked());
    EXPECT_GT(window.Image().Length, 0);
    EXPECT_TRUE(window.Timer1->isActive());
    EXPECT_EQ(window.Timer1->interval(), 1000);
    EXPECT_TRUE(window.Timer2->isActive());
    EXPECT_EQ(window.Timer2->interval(), 20);

    EXPECT_EQ(Stored("Auto"), "0");
    EXPECT_EQ(Stored("COM"), std::nullopt);
    EXPECT_EQ(Stored("SN"), std::nullopt);
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

struct StoredCase {
    const char* name;
    std::optional<std::string> serialNumber;
    std::optional<std::string> port;
    std::optional<std::string> autoValue;
    int expectedIndex;
    bool expectedAuto;
    bool expectWrite;  // start-up stores "Auto" = "0"
};

class StoredSettings : public WindowTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredSettings, AreRestoredAndOnlyAnAutoOtherThan1IsWrittenBack) {
    const StoredCase& row = GetParam();
    if (row.serialNumber)
        Store("SN", *row.serialNumber);
    if (row.port)
        Store("COM", *row.port);
    if (row.autoValue)
        Store("Auto", *row.autoValue);
    MarkSettings();

    TForm1& window = Start();

    EXPECT_EQ(window.ComboBox1->currentIndex(), row.expectedIndex);
    EXPECT_EQ(window.SelAuto->isChecked(), row.expectedAuto);
    EXPECT_EQ(window.Edit1->text().toStdString(), row.serialNumber.value_or(""));
    EXPECT_EQ(WrittenSinceMark(), row.expectWrite);
    EXPECT_EQ(Stored("Auto"), row.expectedAuto ? "1" : "0");
    EXPECT_EQ(Stored("COM"), row.port);
    EXPECT_TRUE(boxes_.Seen().empty()) << boxes_.Texts().join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Window, StoredSettings,
    ::testing::Values(StoredCase{"Com31SelectsCom32", {}, "31", {}, 31, false, true},
                      StoredCase{"Com0SelectsCom1", {}, "0", {}, 0, false, true},
                      StoredCase{"Com40SelectsNothing", {}, "40", {}, -1, false, true},
                      StoredCase{"ComMinus1SelectsNothing", {}, "-1", {}, -1, false, true},
                      StoredCase{"EmptyComSelectsCom1", {}, "", {}, 0, false, true},
                      StoredCase{"Auto1TicksAndWritesNothing", {}, "5", "1", 5, true, false},
                      StoredCase{"Auto0StaysOffAndIsWrittenAgain", {}, {}, "0", 0, false, true},
                      StoredCase{"AutoWithTrailingBlankIsOff", {}, {}, "1 ", 0, false, true},
                      StoredCase{"AutoYesIsOff", {}, {}, "yes", 0, false, true},
                      StoredCase{"SerialNumberFillsEdit1", "AB12000345", {}, "1", 0, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailedStartCase {
    const char* name;
    const ImageSource* image;  // nullptr: the built-in image
    std::optional<std::string> port;
    const char* expectedBox;
    QStringList expectedLog;
    bool openEnabled;
};

class FailedStart : public WindowTest, public ::testing::WithParamInterface<FailedStartCase> {};

TEST_P(FailedStart, ShowsTheErrorBoxEndsThereAndDisablesOpenWithoutImage) {
    const FailedStartCase& row = GetParam();
    if (row.port)
        Store("COM", *row.port);
    MarkSettings();

    TForm1& window = row.image != nullptr ? Start(*row.image) : Start();

    ASSERT_EQ(boxes_.Seen().size(), 1u) << boxes_.Texts().join('|').toStdString();
    const SeenBox& box = boxes_.Seen().front();
    EXPECT_EQ(box.title, "comflash");
    EXPECT_EQ(box.text, row.expectedBox);
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(LogLines(), row.expectedLog);
    EXPECT_EQ(window.Button1->isEnabled(), row.openEnabled);
    // Start-up ended before "Auto" was restored: the box keeps its design
    // state and nothing is stored.
    EXPECT_TRUE(window.SelAuto->isChecked());
    EXPECT_FALSE(WrittenSinceMark());
    // The counters were shown before the failing step.
    EXPECT_EQ(window.Label1->text(), "Ok:0");
}

INSTANTIATE_TEST_SUITE_P(Window, FailedStart,
                         ::testing::Values(FailedStartCase{"ComNotAnInteger",
                                                           nullptr,
                                                           "abc",
                                                           "'abc' is not a valid integer value.",
                                                           {"Firmware Update Tools"},
                                                           true},
                                           FailedStartCase{"ComNotAnIntegerWithEmptyImage",
                                                           &kEmptyImage,
                                                           "COM3",
                                                           "'COM3' is not a valid integer value.",
                                                           {"Firmware Update Tools"},
                                                           false},
                                           FailedStartCase{"ComWithTrailingBlank",
                                                           nullptr,
                                                           "3 ",
                                                           "'3 ' is not a valid integer value.",
                                                           {"Firmware Update Tools"},
                                                           true},
                                           FailedStartCase{"MissingImageResource",
                                                           &kNoImageResource,
                                                           {},
                                                           "Resource RESLABEL not found.",
                                                           {},
                                                           false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, EmptyImageDisablesOpenOnlyWhilePortChoiceAutoAndClearStillWork) {
    TForm1& window = Start(kEmptyImage);
    ASSERT_TRUE(boxes_.Seen().empty()) << "an empty image is not reported in words";
    EXPECT_EQ(window.Image().Length, 0);
    EXPECT_FALSE(window.Button1->isEnabled());

    MarkSettings();
    window.Button1->click();
    EXPECT_FALSE(WrittenSinceMark()) << "a disabled Open must not act";
    EXPECT_FALSE(window.PortOpen());

    window.ComboBox1->setCurrentIndex(7);
    EXPECT_EQ(window.ComboBox1->currentText(), "COM8");
    window.SelAuto->click();
    EXPECT_EQ(Stored("Auto"), "1");
    window.Button2->click();
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(WindowTest, SettingsThatCannotBeStoredAreReportedWithTheReason) {
    // A folder where the settings file belongs: it can be neither read nor
    // replaced, so the defaults apply and storing "Auto" fails.
    std::filesystem::create_directories(SettingsFolder() / "settings");

    TForm1& window = Start();

    ASSERT_EQ(boxes_.Seen().size(), 1u) << boxes_.Texts().join('|').toStdString();
    const SeenBox& box = boxes_.Seen().front();
    EXPECT_EQ(box.title, "comflash");
    // The message ends in a quote, which sorts before ".": no full stop.
    EXPECT_EQ(box.text, "Failed to set data for 'Auto'");
    EXPECT_FALSE(box.detail.isEmpty());
    EXPECT_EQ(window.ComboBox1->currentText(), "COM1");
    EXPECT_TRUE(window.Button1->isEnabled());
}

}  // namespace
}  // namespace comflash::guitest
