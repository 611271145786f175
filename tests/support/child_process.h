// A program of ours run as a child process, as a user or a script runs it:
// its standard output and error go to files, its exit status is awaited with
// a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace comflash::testing {

class ChildProcess {
public:
    // Starts `program` with `arguments`; output lands in `outputFolder` as
    // <name>.out and <name>.err.
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const std::filesystem::path& outputFolder, const std::string& name);
    ~ChildProcess();  // ends a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Exit status; -1 when it did not end in time (it is then killed).
    int Wait(std::chrono::milliseconds within);
    // The exit status once the child has ended; nothing while it runs.
    std::optional<int> Poll();
    pid_t Pid() const { return pid_; }
    // Processor time the child used, user and system, once it has ended.
    std::chrono::microseconds CpuTime() const { return cpuTime_; }
    void Terminate();  // SIGTERM
    std::string Stdout() const;
    std::string Stderr() const;

private:
    pid_t pid_ = -1;
    std::filesystem::path out_;
    std::filesystem::path err_;
    std::optional<int> status_;
    std::chrono::microseconds cpuTime_{0};
};

std::string ReadWholeFile(const std::filesystem::path& path);
std::vector<std::string> Lines(const std::string& text);

}  // namespace comflash::testing
