// comflash-pack as the build and the operator run it: the real program on
// real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/firmware_file.h"
#include "protocol/firmware_image.h"
#include "test_support.h"
#include "tests/support/test_paths.h"

extern char** environ;

namespace comflash {
namespace {

using testing::RandomImage;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

// The sample firmware kept in the repository, an Intel HEX file.
std::string SampleFirmware() {
    return testing::TestPath("COMFLASH_SAMPLE_FIRMWARE_PATH");
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class PackTest : public ::testing::Test {
protected:
    // Arguments starting with '@' name files in the test's folder.
    Outcome Pack(std::vector<std::string> args) {
        std::vector<std::string> argv{testing::TestPath("COMFLASH_PACK_PATH")};
        for (std::string& a : args)
            argv.push_back(a.starts_with('@') ? Path(a.substr(1)) : a);
        std::vector<char*> pointers;
        for (std::string& a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);

        const std::string outPath = (logs_ / "stdout").string();
        const std::string errPath = (logs_ / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        Outcome outcome;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot run " << pointers[0];
            return outcome;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = ReadWholeFile(outPath);
        outcome.err = ReadWholeFile(errPath);
        return outcome;
    }

    std::string Path(std::string_view name) const { return (dir_ / name).string(); }

    void WriteBytes(std::string_view name, const std::vector<std::uint8_t>& bytes) {
        WriteWholeFile(dir_ / name, testing::AsText(bytes));
    }

    std::vector<std::uint8_t> ReadBytes(std::string_view name) const {
        const std::string content = ReadWholeFile(dir_ / name);
        return {content.begin(), content.end()};
    }

    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }

    static void ExpectOneErrorLine(const Outcome& outcome) {
        EXPECT_TRUE(outcome.err.starts_with("comflash-pack: ")) << outcome.err;
        EXPECT_EQ(std::ranges::count(outcome.err, '\n'), 1) << outcome.err;
    }

    testing::TempDir dir_;
    testing::TempDir logs_;
};

bool IsImageTextLine(std::string_view line) {
    return !line.empty() && line.size() <= 64 && std::ranges::all_of(line, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    });
}

void ExpectImageTextLayout(const std::string& text) {
    ASSERT_TRUE(text.ends_with('\n'));
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_TRUE(IsImageTextLine(std::string_view(text).substr(start, end - start)))
            << "line at " << start;
        start = end + 1;
    }
}

TEST_F(PackTest, RawImagesOfEveryLengthRoundTrip) {
    for (std::size_t size :
         {std::size_t{2}, std::size_t{409}, std::size_t{5000}, kMaxImageLength}) {
        const std::vector<std::uint8_t> image = RandomImage(size, static_cast<std::uint32_t>(size));
        WriteBytes("fw.bin", image);
        ASSERT_EQ(Pack({"encode", "@fw.bin", "@image.txt"}).status, 0) << size;
        ExpectImageTextLayout(ReadWholeFile(dir_ / "image.txt"));
        const Outcome decoded = Pack({"decode", "@image.txt", "@back.bin"});
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(ReadBytes("back.bin"), image) << size;
        EXPECT_TRUE(decoded.out.empty() && decoded.err.empty());
    }
}

TEST_F(PackTest, IntelHexFirmwareRoundTripsToItsBytes) {
    const Outcome encoded = Pack({"encode", SampleFirmware(), "@image.txt"});
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    ASSERT_EQ(Pack({"decode", "@image.txt", "@back.bin"}).status, 0);
    const std::vector<std::uint8_t> firmware = ReadFirmwareFile(SampleFirmware());
    EXPECT_EQ(firmware.size(), 12288u);
    EXPECT_EQ(ReadBytes("back.bin"), firmware);
}

TEST_F(PackTest, OutputReplacesAnExistingFile) {
    WriteBytes("fw.bin", {1, 2, 3});
    WriteWholeFile(dir_ / "image.txt", std::string(100000, 'x'));
    ASSERT_EQ(Pack({"encode", "@fw.bin", "@image.txt"}).status, 0);
    ASSERT_EQ(Pack({"decode", "@image.txt", "@back.bin"}).status, 0);
    EXPECT_EQ(ReadBytes("back.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
}

// ---- refusals: one line, status 1, the output file as it was

struct RefusalRow {
    const char* name;
    friend void PrintTo(const RefusalRow& row, std::ostream* os) { *os << row.name; }
    std::vector<std::string> args;
    const char* message;  // the error line after "comflash-pack: <input path>: "
};

class PackRefusalTest : public PackTest, public ::testing::WithParamInterface<RefusalRow> {
protected:
    void SetUp() override {
        WriteBytes("one.bin", {0x42});
        WriteBytes("empty.bin", {});
        WriteBytes("big.bin", std::vector<std::uint8_t>(kMaxImageLength + 1, 0x42));
        WriteWholeFile(dir_ / "bad.hex", ":0100000055AA\n:0100010066FF\n:00000001FF\n");
        WriteWholeFile(dir_ / "span.hex", ":0100000055AA\n:01FF0000669A\n:00000001FF\n");
        WriteBytes("fw.bin", RandomImage(3000, 5));
        ASSERT_EQ(Pack({"encode", "@fw.bin", "@good.txt"}).status, 0);
        std::string damaged = ReadWholeFile(dir_ / "good.txt");
        damaged[5000] = damaged[5000] == '7' ? '8' : '7';
        WriteWholeFile(dir_ / "damaged.txt", damaged);
        WriteWholeFile(dir_ / "cut.txt", ReadWholeFile(dir_ / "good.txt").substr(0, 6000));
        WriteWholeFile(dir_ / "out", "old content");
    }
};

TEST_P(PackRefusalTest, WritesNothing) {
    const std::vector<std::string> before = FilesInFolder();
    const Outcome outcome = Pack(GetParam().args);
    EXPECT_EQ(outcome.status, 1);
    ExpectOneErrorLine(outcome);
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadWholeFile(dir_ / "out"), "old content");
    EXPECT_EQ(FilesInFolder(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PackRefusalTest,
    ::testing::Values(
        RefusalRow{"one_byte_image",
                   {"encode", "@one.bin", "@out"},
                   "the image has 1 byte; an image holds 2 to 65280 bytes"},
        RefusalRow{"empty_image", {"encode", "@empty.bin", "@out"}, "the image has 0 bytes"},
        RefusalRow{"raw_image_too_long",
                   {"encode", "@big.bin", "@out"},
                   "65281 bytes, more than the 65280 bytes an image may hold"},
        RefusalRow{"hex_span_too_long",
                   {"encode", "@span.hex", "@out"},
                   "line 2: data at 0xFF00 would make the image span 65281 bytes"},
        RefusalRow{"hex_checksum",
                   {"encode", "@bad.hex", "@out"},
                   "bad.hex: line 2: checksum mismatch (expected 0x98, found 0xFF)"},
        RefusalRow{"missing_firmware",
                   {"encode", "@none.bin", "@out"},
                   "none.bin': No such file or directory"},
        RefusalRow{"damaged_text", {"decode", "@damaged.txt", "@out"}, "holds no image"},
        RefusalRow{"text_cut_short", {"decode", "@cut.txt", "@out"}, "holds no image"},
        RefusalRow{"missing_text",
                   {"decode", "@none.txt", "@out"},
                   "none.txt': No such file or directory"},
        RefusalRow{"output_folder_missing",
                   {"encode", "@fw.bin", "@no-such-folder/out"},
                   "no-such-folder/out': No such file or directory"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the command line itself

struct UsageRow {
    const char* name;
    friend void PrintTo(const UsageRow& row, std::ostream* os) { *os << row.name; }
    std::vector<std::string> args;
};

class PackUsageTest : public PackTest, public ::testing::WithParamInterface<UsageRow> {};

TEST_P(PackUsageTest, ExitsWithStatusTwo) {
    const Outcome outcome = Pack(GetParam().args);
    EXPECT_EQ(outcome.status, 2);
    ExpectOneErrorLine(outcome);
    EXPECT_NE(outcome.err.find("--help"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PackUsageTest,
    ::testing::Values(UsageRow{"no_command", {}}, UsageRow{"unknown_command", {"pack", "a", "b"}},
                      UsageRow{"missing_operand", {"encode", "@fw.bin"}},
                      UsageRow{"extra_operand", {"decode", "@a", "@b", "@c"}},
                      UsageRow{"unknown_option", {"encode", "--fast", "@a", "@b"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackTest, HelpDescribesBothCommands) {
    const Outcome outcome = Pack({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("comflash-pack encode FIRMWARE TEXT"), std::string::npos);
    EXPECT_NE(outcome.out.find("comflash-pack decode TEXT FIRMWARE"), std::string::npos);
    EXPECT_TRUE(outcome.err.empty());
}

}  // namespace
}  // namespace comflash
