#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "app/settings_file.h"
#include "session_fixture.h"

namespace comflash::testing {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    fs::path File() const { return scratch.Folder() / "Norvane" / "FW" / "settings"; }
    std::string FileText() const {
        std::ifstream in(File(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteFile(const std::string& text) const {
        fs::create_directories(File().parent_path());
        std::ofstream(File(), std::ios::binary) << text;
    }

    ScratchSettings scratch;
    SettingsStore store;
};

TEST_F(SettingsStoreTest, FreshUserReadsEmptyTextsAndGetsTheFolder) {
    EXPECT_EQ(store.ReadSetting("SN"), "");
    EXPECT_EQ(store.ReadSetting("COM"), "");
    EXPECT_TRUE(fs::is_directory(File().parent_path()));
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(SettingsStoreTest, WritesReplaceOneValueAndKeepTheOthers) {
    EXPECT_TRUE(store.WriteSetting("SN", "AB12000345"));
    store.WriteSetting("COM", "2");
    store.WriteSetting("SN", "AB12000346");
    EXPECT_EQ(store.ReadSetting("SN"), "AB12000346");
    EXPECT_EQ(store.ReadSetting("COM"), "2");
    EXPECT_EQ(store.ReadSetting("Auto"), "");
    // Only the settings file and its lock stay behind: no temporary files.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(File().parent_path()))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST_F(SettingsStoreTest, AwkwardTextsSurviveTheRoundTrip) {
    store.WriteSetting("SN", "back\\slash = and\nnew line\r");
    EXPECT_EQ(store.ReadSetting("SN"), "back\\slash = and\nnew line\r");
    store.WriteSetting("SN", std::string("cut\0here", 8));
    EXPECT_EQ(store.ReadSetting("SN"), "cut");
}

TEST_F(SettingsStoreTest, HandEditedFileIsRead) {
    WriteFile("# edited by hand\r\nCOM=31\r\n\r\nAuto=1 \r\n");
    EXPECT_EQ(store.ReadSetting("COM"), "31");
    EXPECT_EQ(store.ReadSetting("Auto"), "1 ");
}

TEST_F(SettingsStoreTest, DamagedFileIsAnErrorNamingTheFileAndIsNotOverwritten) {
    const std::string damaged = "SN=AB12000345\ngarbage line\n";
    WriteFile(damaged);
    try {
        store.ReadSetting("SN");
        FAIL() << "a damaged file must not read as empty";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find(File().string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    }
    EXPECT_THROW(store.WriteSetting("COM", "1"), ERegistryException);
    EXPECT_EQ(FileText(), damaged);
}

TEST_F(SettingsStoreTest, WriteThatCannotReachTheFolderFailsWithTheFixedText) {
    fs::create_directories(scratch.Folder() / "Norvane");
    std::ofstream(scratch.Folder() / "Norvane" / "FW") << "in the way";
    try {
        store.WriteSetting("SN", "004712");
        FAIL() << "expected a failure";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'SN'");
        EXPECT_FALSE(e.Detail().empty());
    }
    EXPECT_EQ(store.ReadSetting("SN"), "");
}

struct ParseCase {
    const char* name;
    std::string text;
    std::optional<SettingsValues> values;  // what a readable text holds; none when it is refused
    const char* faultLine = nullptr;       // the line a refusal names
};

class SettingsText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SettingsText, ReadsItsValuesOrNamesTheFaultyLine) {
    const ParseCase& row = GetParam();
    if (row.values) {
        EXPECT_EQ(ParseSettingsText(row.text), *row.values);
        return;
    }
    try {
        const SettingsValues read = ParseSettingsText(row.text);
        FAIL() << "read " << read.size() << " values from a damaged text";
    } catch (const SettingsFileError& e) {
        EXPECT_NE(std::string(e.what()).find(row.faultLine), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsText,
    ::testing::Values(
        ParseCase{"empty", "", SettingsValues{}},
        ParseCase{"comments_and_blank_lines", "# x\n\nSN=1\n", SettingsValues{{"SN", "1"}}},
        ParseCase{"empty_value", "SN=\n", SettingsValues{{"SN", ""}}},
        ParseCase{"no_final_newline", "SN=1", SettingsValues{{"SN", "1"}}},
        ParseCase{"crlf_and_equals_in_value", "COM=31\r\nSN=a=b\r\n",
                  SettingsValues{{"COM", "31"}, {"SN", "a=b"}}},
        ParseCase{"escaped_backslash_cr_lf", "SN=a\\\\b\\r\\n\n",
                  SettingsValues{{"SN", "a\\b\r\n"}}},
        ParseCase{"missing_equals", "SN\n", std::nullopt, "line 1"},
        ParseCase{"empty_name", "SN=1\n=1\n", std::nullopt, "line 2"},
        ParseCase{"unknown_escape", "SN=a\\tb\n", std::nullopt, "line 1"},
        ParseCase{"dangling_backslash", "SN=a\\\n", std::nullopt, "line 1"},
        ParseCase{"nul_byte", std::string("# x\nSN=a\0b\n", 11), std::nullopt, "line 2"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
