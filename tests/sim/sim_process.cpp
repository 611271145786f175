#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "tests/support/test_paths.h"

extern char** environ;

namespace comflash::simtest {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "comflash-sim-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

SimProcess::SimProcess(const std::vector<std::string>& arguments, std::filesystem::path stderrFile)
    : stderrFile_(std::move(stderrFile)) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    const std::string program = testing::TestPath("COMFLASH_SIM_PATH");
    std::vector<std::string> argvStrings = {program};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    stdout_ = pipeEnds[0];
    if (error != 0) {
        close(stdout_);
        throw std::runtime_error("cannot start " + program);
    }
}

SimProcess::~SimProcess() {
    if (!status_) {
        Terminate();
        Wait();
    }
    close(stdout_);
}

std::string SimProcess::NextPath(Millis within) {
    const auto deadline = Clock::now() + within;
    while (true) {
        if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        pollfd entry{stdout_, POLLIN, 0};
        if (poll(&entry, 1, MillisLeft(deadline)) <= 0)
            return {};
        char buffer[256];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string SimProcess::RestOfOutput(Millis within) {
    const auto deadline = Clock::now() + within;
    while (true) {
        pollfd entry{stdout_, POLLIN, 0};
        if (poll(&entry, 1, MillisLeft(deadline)) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return std::exchange(pending_, {});
}

int SimProcess::Wait(Millis within) {
    if (status_)
        return *status_;
    const auto deadline = Clock::now() + within;
    while (true) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return *status_;
        }
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &raw, 0);
            status_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(Millis(10));
    }
}

void SimProcess::Terminate() {
    if (!status_)
        kill(pid_, SIGTERM);
}

std::string SimProcess::Stderr() const {
    std::ifstream file(stderrFile_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::size_t SimProcess::StderrCount(const std::string& text) const {
    const std::string all = Stderr();
    std::size_t count = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++count;
    return count;
}

bool SimProcess::AwaitStderr(const std::string& text, std::size_t times, Millis within) const {
    const auto deadline = Clock::now() + within;
    while (StderrCount(text) < times) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Millis(10));
    }
    return true;
}

std::function<bool()> SimProcess::NoUsableReplySign() const {
    return [this] { return StderrCount("no usable reply") > 0; };
}

std::vector<Json> AwaitReport(const std::filesystem::path& report, std::size_t count,
                              Millis within) {
    const auto deadline = Clock::now() + within;
    while (true) {
        auto lines = ReadJsonLines(report);
        if (lines.size() >= count || Clock::now() >= deadline)
            return lines;
        std::this_thread::sleep_for(Millis(20));
    }
}

}  // namespace comflash::simtest
