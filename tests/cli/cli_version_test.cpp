// --version, --image-info and --expect-image-crc, checked against the
// packer's own view of the same image: comflash-pack encodes the firmware and
// decodes it again, and the decoded bytes are measured here (the SHA-256 by
// sha256sum, which shares nothing with the tool).
#include <fstream>
#include <iterator>

#include "cli_fixture.h"
#include "protocol/crc16.h"

namespace comflash::testing {
namespace {

namespace fs = std::filesystem;

struct PackedImage {
    std::size_t length = 0;
    std::string crc;  // 0x1A2B
    std::string sha256;
};

class CliVersion : public CliTest {
protected:
    // Runs a program of ours or a system tool, for its standard output.
    CliResult Run(const fs::path& program, const std::vector<std::string>& arguments) {
        ChildProcess child(program, arguments, dir.Path(), "run" + std::to_string(runs++));
        return {child.Wait(kCliPatience), child.Stdout(), child.Stderr()};
    }

    // Encodes `firmware` into `text` with comflash-pack, decodes it back and
    // measures what the decode wrote.
    PackedImage PackAndMeasure(const fs::path& firmware, const fs::path& text) {
        EXPECT_EQ(Run(TestPath("COMFLASH_PACK_PATH"), {"encode", firmware.string(), text.string()})
                      .status,
                  0);
        const fs::path decoded = dir / (text.filename().string() + ".bin");
        EXPECT_EQ(
            Run(TestPath("COMFLASH_PACK_PATH"), {"decode", text.string(), decoded.string()}).status,
            0);
        std::ifstream in(decoded, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        char crc[8];
        std::snprintf(crc, sizeof crc, "0x%04X", Crc16Ccitt(bytes));
        const CliResult sum = Run("/usr/bin/sha256sum", {decoded.string()});
        return {bytes.size(), crc, sum.out.substr(0, 64)};
    }

    static std::vector<std::string> ExpectedFacts(const PackedImage& image,
                                                  const std::string& indent) {
        return {indent + "length: " + std::to_string(image.length) + " bytes",
                indent + "CRC-16: " + image.crc, indent + "SHA-256: " + image.sha256};
    }
};

TEST_F(CliVersion, VersionNamesTheToolAndTheBuiltInImage) {
    const PackedImage packed = PackAndMeasure(FirmwareFile(), dir / "built-in.txt");
    const CliResult cli = RunCli({"--version"});
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::vector<std::string> lines = Lines(cli.out);
    ASSERT_EQ(lines.size(), 6u) << cli.out;
    EXPECT_EQ(lines[0].rfind("comflash-cli " COMFLASH_PROJECT_VERSION, 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "built-in image:");
    EXPECT_EQ(lines[2], "  firmware: " + fs::path(FirmwareFile()).filename().string());
    const std::vector<std::string> facts(lines.begin() + 3, lines.end());
    EXPECT_EQ(facts, ExpectedFacts(packed, "  "));
}

TEST_F(CliVersion, ImageInfoOfTheBuiltInImageAsText) {
    const PackedImage packed = PackAndMeasure(FirmwareFile(), dir / "built-in.txt");
    const CliResult cli = RunCli({"--image-info"});
    ASSERT_EQ(cli.status, 0) << cli.err;
    std::vector<std::string> expected = {"firmware: " +
                                         fs::path(FirmwareFile()).filename().string()};
    for (const std::string& fact : ExpectedFacts(packed, ""))
        expected.push_back(fact);
    EXPECT_EQ(Lines(cli.out), expected);
}

TEST_F(CliVersion, ImageInfoOfAnImageTextAsJson) {
    std::ofstream(dir / "other.bin", std::ios::binary) << std::string(5000, '\x5A') << "tail";
    const PackedImage packed = PackAndMeasure(dir / "other.bin", dir / "other.txt");
    const std::string text = (dir / "other.txt").string();
    const CliResult cli = RunCli({"--image-info", "--image-text", text, "--json"});
    ASSERT_EQ(cli.status, 0) << cli.err;
    ASSERT_EQ(Lines(cli.out).size(), 1u) << cli.out;
    const Json info = Json::Parse(cli.out);
    EXPECT_TRUE(info["firmware"].IsNull());
    EXPECT_EQ(info["image_text"].String(), text);
    EXPECT_EQ(info["length"].Int(), static_cast<long long>(packed.length));
    EXPECT_EQ(info["image_crc"].String(), packed.crc);
    EXPECT_EQ(info["sha256"].String(), packed.sha256);
}

// Every program answers --version with its name and the tool's version on
// the first line (help2man builds the manual pages from it).
TEST_F(CliVersion, EveryProgramNamesItsVersion) {
    std::vector<std::pair<std::string, std::string>> programs = {
        {"comflash-cli", CliPath()},
        {"comflash-pack", TestPath("COMFLASH_PACK_PATH")},
        {"comflash-sim", TestPath("COMFLASH_SIM_PATH")}};
    if (const auto window = TestPathIfBuilt("COMFLASH_WINDOW_PATH"))
        programs.emplace_back("comflash", *window);
    if (const auto lineTool = TestPathIfBuilt("COMFLASH_LINE_TOOL_PATH"))
        programs.emplace_back("comflash-line", *lineTool);
    for (const auto& [name, path] : programs) {
        const CliResult run = Run(path, {"--version"});
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_EQ(run.out.rfind(name + " " COMFLASH_PROJECT_VERSION, 0), 0u) << run.out;
    }
}

struct ExpectedCrcRow {
    const char* name;
    // The value of --expect-image-crc; "{crc}" is the built-in image's.
    std::string value;
    std::string says;
};

class CliExpectedCrc : public CliVersion, public ::testing::WithParamInterface<ExpectedCrcRow> {};

// The guard acts before any port is opened: a wrong CRC-16 is refused on a
// port that exists; the right one goes on to the port, here one that is not
// there.
TEST_P(CliExpectedCrc, RefusesAnyOtherImageWithStatusTwo) {
    const PackedImage packed = PackAndMeasure(FirmwareFile(), dir / "built-in.txt");
    std::string value = GetParam().value;
    std::string says = GetParam().says;
    for (std::string* text : {&value, &says}) {
        if (const auto at = text->find("{crc}"); at != std::string::npos)
            text->replace(at, 5, packed.crc);
    }
    const CliResult cli =
        RunCli({"--port", (dir / "no-such-port").string(), "--expect-image-crc", value});
    EXPECT_EQ(cli.status, 2);
    EXPECT_TRUE(cli.ErrHas(says)) << cli.err;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CliExpectedCrc,
    ::testing::Values(
        ExpectedCrcRow{"other_image", "0x0000",
                       "the image to write has CRC-16 {crc}, but --expect-image-crc asks for "
                       "0x0000: not starting"},
        ExpectedCrcRow{"same_image", "{crc}", "Error opening serial port: no such device"},
        ExpectedCrcRow{"not_hexadecimal", "12G4", "--expect-image-crc needs the image's CRC-16"},
        ExpectedCrcRow{"too_short", "0x1A2", "--expect-image-crc needs the image's CRC-16"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::testing
