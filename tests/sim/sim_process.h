// The real comflash-sim binary as a child process: its port paths from
// standard output, its standard error in a file, its report file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json_lines.h"
#include "tests/support/patience.h"

namespace comflash::simtest {

using Millis = std::chrono::milliseconds;

// Long enough for a loaded two-core machine; waits end as soon as the thing
// waited for happens.
inline const Millis kPatience = testing::Patience(Millis{20000});

// The --quiet-end of a simulated device: after this much silence from the
// host the device takes its turn as over. The host under test may be as
// slow between two frames as the machine makes it, so the silence stretches
// with the patience.
inline std::string QuietEnd(Millis quiet = Millis{1000}) {
    return std::to_string(testing::Patience(quiet).count());
}

// A directory of its own, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

class SimProcess {
public:
    // Starts comflash-sim with these arguments; stderr goes to `stderrFile`.
    SimProcess(const std::vector<std::string>& arguments, std::filesystem::path stderrFile);
    ~SimProcess();  // stops a simulator still running
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The next line the simulator prints: the port path, or the new path
    // after the line vanished and returned. Empty when none comes.
    std::string NextPath(Millis within = kPatience);
    // Everything it prints until it exits.
    std::string RestOfOutput(Millis within = kPatience);
    // Exit status, or -1 when it does not end in time (it is then killed).
    int Wait(Millis within = kPatience);
    void Terminate();
    std::string Stderr() const;
    // How often `text` stands in the simulator's standard error (its --trace
    // among it), and a wait until it stands there `times` times.
    std::size_t StderrCount(const std::string& text) const;
    bool AwaitStderr(const std::string& text, std::size_t times = 1,
                     Millis within = kPatience) const;
    // The device's word that the host's last request gets no reply the host
    // can take (--trace): a host may stop waiting for one soon after it.
    std::function<bool()> NoUsableReplySign() const;

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string pending_;
    std::filesystem::path stderrFile_;
    std::optional<int> status_;
};

// The report lines once at least `count` are there, or what there is when
// `within` runs out.
std::vector<Json> AwaitReport(const std::filesystem::path& report, std::size_t count,
                              Millis within = kPatience);

}  // namespace comflash::simtest
