// The standard error box: its text rule, caption, icon and detail.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/settings_store.h"
#include "gui/common/operator_boxes.h"
#include "tests/gui/box_answerer.h"

namespace comflash::guitest {
namespace {

struct TextCase {
    const char* name;
    const char* message;
    const char* shown;
};

class ErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ErrorText, GetsAFullStopOnlyAfterACharacterSortingAfterIt) {
    EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ErrorText,
    ::testing::Values(TextCase{"Letter", "Error opening serial port", "Error opening serial port."},
                      TextCase{"Digit", "code 5", "code 5."},
                      TextCase{"FullStop", "Done.", "Done."},
                      TextCase{"Exclamation", "Write SN Error!", "Write SN Error!"},
                      TextCase{"Quote", "'x' is wrong'", "'x' is wrong'"},
                      TextCase{"Parenthesis", "damaged (line 3)", "damaged (line 3)"},
                      TextCase{"Blank", "ends in a blank ", "ends in a blank "},
                      TextCase{"Slash", "path /", "path /."},
                      TextCase{"QuestionMark", "what?", "what?."},
                      TextCase{"NonAscii", "Gerät", "Gerät."}, TextCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorBox, HasTheApplicationCaptionErrorIconAndTheSettingsDetail) {
    BoxAnswerer boxes;
    ShowErrorBox(nullptr, ERegistryException("Failed to set data for 'SN'",
                                             "cannot write /x/settings.1: No space left"));
    ShowErrorBox(nullptr, std::runtime_error("Resource RESLABEL not found"));

    ASSERT_EQ(boxes.Seen().size(), 2u);
    EXPECT_EQ(boxes.Seen()[0].title, "comflash");
    EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.Seen()[0].text, "Failed to set data for 'SN'");
    EXPECT_EQ(boxes.Seen()[0].detail, "cannot write /x/settings.1: No space left");
    EXPECT_EQ(boxes.Seen()[1].text, "Resource RESLABEL not found.");
    EXPECT_TRUE(boxes.Seen()[1].detail.isEmpty());
}

TEST(OperatorBoxes, QuestionAnswersYesOrNoUnderItsTitle) {
    BoxAnswerer boxes;
    boxes.Answer("Readlly Write SN?", QMessageBox::No);
    EXPECT_TRUE(AskYesNoBox(nullptr, "Ready Update?", "Notice"));
    EXPECT_FALSE(AskYesNoBox(nullptr, "Readlly Write SN?", "Notice"));
    ShowMessageBox(nullptr, "Write Completed!", "Completed");

    ASSERT_EQ(boxes.Seen().size(), 3u);
    EXPECT_EQ(boxes.Seen()[0].title, "Notice");
    EXPECT_EQ(boxes.Seen()[2].title, "Completed");
    EXPECT_EQ(boxes.Seen()[2].text, "Write Completed!");
}

}  // namespace
}  // namespace comflash::guitest
