#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace comflash::testing {

ChildProcess::ChildProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments,
                           const std::filesystem::path& outputFolder, const std::string& name)
    : out_(outputFolder / (name + ".out")), err_(outputFolder / (name + ".err")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + program.string());
}

ChildProcess::~ChildProcess() {
    if (!status_) {
        Terminate();
        Wait(std::chrono::milliseconds(5000));
    }
}

int ChildProcess::Wait(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (true) {
        if (const auto status = Poll())
            return *status;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            int raw = 0;
            waitpid(pid_, &raw, 0);
            status_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::optional<int> ChildProcess::Poll() {
    if (status_)
        return status_;
    int raw = 0;
    rusage usage{};
    if (wait4(pid_, &raw, WNOHANG, &usage) != pid_)
        return std::nullopt;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    cpuTime_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return status_;
}

void ChildProcess::Terminate() {
    if (!status_)
        kill(pid_, SIGTERM);
}

std::string ChildProcess::Stdout() const {
    return ReadWholeFile(out_);
}
std::string ChildProcess::Stderr() const {
    return ReadWholeFile(err_);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace comflash::testing
