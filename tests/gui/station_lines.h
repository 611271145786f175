// Simulated lines for the station window: one comflash-sim per port, each
// with a report of its own.
#pragma once

#include <QTest>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/sim/json_lines.h"
#include "tests/sim/sim_process.h"
#include "tests/support/test_paths.h"

namespace comflash::guitest {

// A batch on a loaded two-core machine may take many times its usual seconds.
inline const int kBatchPatienceMs = testing::PatienceMs(180000);

struct SimLine {
    std::unique_ptr<simtest::SimProcess> simulator;
    std::string port;  // the path the station opens
    std::filesystem::path report;
};

class SimLines {
public:
    // A line whose devices speak protocol version 3 and expect the firmware
    // the tool was built with; `more` adds the line's faults and pace. The
    // station opens the line by a link of the test's own (unless `more` names
    // one): a port that went away is tried again every second, and the bare
    // pseudo-terminal name may meanwhile belong to a test running beside.
    SimLine& Start(const std::string& name, std::vector<std::string> more) {
        SimLine line;
        line.report = work_ / (name + ".jsonl");
        std::vector<std::string> arguments = {
            "--version",   "3",
            "--expect",    testing::TestPath("COMFLASH_EXPECTED_IMAGE_PATH"),
            "--report",    line.report.string(),
            "--quiet-end", simtest::QuietEnd(simtest::Millis{2000})};
        const std::filesystem::path link = work_ / (name + ".port");
        const bool linked = std::find(more.begin(), more.end(), "--link") != more.end();
        if (!linked)
            arguments.insert(arguments.end(), {"--link", link.string()});
        arguments.insert(arguments.end(), more.begin(), more.end());
        line.simulator = std::make_unique<simtest::SimProcess>(arguments, work_ / (name + ".err"));
        const std::string path = line.simulator->NextPath();
        line.port = linked || path.empty() ? path : link.string();
        lines_.push_back(std::move(line));
        return lines_.back();
    }
    std::filesystem::path Path(const std::string& name) const { return work_ / name; }
    const std::filesystem::path& Folder() const { return work_.Path(); }

    // The line's report once it holds `count` devices, or what it holds when
    // the patience runs out (the caller checks); the event loop runs meanwhile.
    static std::vector<simtest::Json> Report(const SimLine& line, std::size_t count) {
        static_cast<void>(QTest::qWaitFor(
            [&] { return simtest::ReadJsonLines(line.report).size() >= count; }, kBatchPatienceMs));
        return simtest::ReadJsonLines(line.report);
    }

private:
    simtest::TempDir work_;
    std::deque<SimLine> lines_;  // references to a line stay valid
};

}  // namespace comflash::guitest
