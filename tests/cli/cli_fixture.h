// comflash-cli run for real against comflash-sim on pseudo-terminals, each
// test with a settings folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "sim_process.h"
#include "tests/support/patience.h"
#include "tests/support/test_paths.h"

namespace comflash::testing {

using simtest::Json;
using simtest::QuietEnd;
using simtest::SimProcess;
using simtest::TempDir;

inline const std::chrono::milliseconds kCliPatience = Patience(std::chrono::seconds(90));

inline std::string CliPath() {
    return TestPath("COMFLASH_CLI_PATH");
}
// The firmware file the tool was built with.
inline std::string FirmwareFile() {
    return TestPath("COMFLASH_FIRMWARE_PATH");
}
// The bytes a device must hold once updated, made from that file by binutils.
inline std::string ExpectedImage() {
    return TestPath("COMFLASH_EXPECTED_IMAGE_PATH");
}

// A Start or End line ("2024-3-5/14:07:09 Start...") with its time stamp,
// one word holding a slash, shown as "<time>".
inline std::string WithoutTimeStamp(const std::string& line) {
    for (const std::string_view suffix : {" Start...", " ...End"}) {
        if (!line.ends_with(suffix))
            continue;
        const std::string_view stamp =
            std::string_view(line).substr(0, line.size() - suffix.size());
        const bool oneWord = !stamp.empty() && stamp.find_first_of(" \t") == std::string_view::npos;
        if (oneWord && stamp.find('/') != std::string_view::npos)
            return "<time>" + std::string(suffix);
    }
    return line;
}

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;

    bool OutHas(const std::string& text) const { return out.find(text) != std::string::npos; }
    bool ErrHas(const std::string& text) const { return err.find(text) != std::string::npos; }
    // Standard output line by line, the time stamp of a Start or End line
    // shown as "<time>".
    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        for (const auto& line : testing::Lines(out))
            lines.push_back(WithoutTimeStamp(line));
        return lines;
    }
    // The message boxes the tool showed, as "Title: text".
    std::vector<std::string> BoxLines() const {
        std::vector<std::string> boxes;
        for (const auto& line : testing::Lines(err)) {
            if (line.rfind("Notice: ", 0) == 0 || line.rfind("Completed: ", 0) == 0)
                boxes.push_back(line);
        }
        return boxes;
    }
    int CountInOut(const std::string& text) const {
        int count = 0;
        for (auto at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            ++count;
        return count;
    }
};

class CliTest : public ::testing::Test {
protected:
    CliTest() { ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1); }

    // Starts a simulator that expects the built-in firmware; returns its port path.
    std::string StartSim(std::vector<std::string> arguments, const std::string& name = "sim") {
        arguments.insert(arguments.end(),
                         {"--expect", ExpectedImage(), "--report", Report(name).string(),
                          "--quiet-end", QuietEnd(), "--power-up-delay", "200"});
        sims.push_back(std::make_unique<SimProcess>(arguments, dir / (name + ".err")));
        const std::string path = sims.back()->NextPath();
        EXPECT_FALSE(path.empty()) << "the simulator printed no port: " << sims.back()->Stderr();
        return path;
    }
    std::filesystem::path Report(const std::string& name = "sim") const {
        return dir / (name + ".report");
    }
    std::vector<Json> ReportLines(std::size_t count, const std::string& name = "sim") const {
        return simtest::AwaitReport(Report(name), count);
    }

    CliResult RunCli(const std::vector<std::string>& arguments) {
        ChildProcess cli(CliPath(), arguments, dir.Path(), "cli" + std::to_string(runs++));
        CliResult result;
        result.status = cli.Wait(kCliPatience);
        result.out = cli.Stdout();
        result.err = cli.Stderr();
        return result;
    }

    TempDir dir;
    std::vector<std::unique_ptr<SimProcess>> sims;
    int runs = 0;
};

}  // namespace comflash::testing
