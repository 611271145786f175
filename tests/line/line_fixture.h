// The line tests' surroundings: the throwaway server the test run started
// (scripts/line-test-server, named by COMFLASH_TEST_LINE_SERVER), a fresh
// database on it per test, and a fresh settings folder per station.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "line/pg_connection.h"
#include "tests/support/patience.h"
#include "tests/support/test_paths.h"

namespace comflash::testing {

// How to reach the server a test run started (as its superuser).
inline std::string ServerConninfo(const std::filesystem::path& state) {
    std::ifstream in(state / "conninfo");
    std::string conninfo;
    std::getline(in, conninfo);
    if (conninfo.empty())
        throw std::runtime_error("no test server in " + state.string() +
                                 ": run the tests through ctest (label line), which starts one");
    return conninfo;
}

inline std::filesystem::path SharedServerState() {
    const char* state = std::getenv("COMFLASH_TEST_LINE_SERVER");
    if (state == nullptr)
        throw std::runtime_error(
            "COMFLASH_TEST_LINE_SERVER is not set: run the tests through ctest");
    return state;
}

// A database of its own on the server, dropped afterwards.
class ScratchDatabase {
public:
    explicit ScratchDatabase(std::string server = ServerConninfo(SharedServerState()))
        : server_(std::move(server)),
          name_("comflash_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++)) {
        line::PgConnection admin(server_);
        admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        admin.Exec("CREATE DATABASE " + name_, {}, std::chrono::seconds(60));
        conninfo_ = server_ + " dbname=" + name_;
    }
    ~ScratchDatabase() {
        try {
            line::PgConnection admin(server_);
            admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)", {},
                       std::chrono::seconds(60));
        } catch (const std::exception&) {
        }
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    const std::string& Conninfo() const { return conninfo_; }

private:
    static inline int counter_ = 0;
    std::string server_;
    std::string name_;
    std::string conninfo_;
};

// A station's settings folder of its own.
class StationFolder {
public:
    explicit StationFolder(const std::string& name)
        : folder_(std::filesystem::temp_directory_path() /
                  ("comflash-line-" + std::to_string(::getpid()) + "-" + name + "-" +
                   std::to_string(counter_++))) {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    ~StationFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    StationFolder(const StationFolder&) = delete;
    StationFolder& operator=(const StationFolder&) = delete;

    // XDG_CONFIG_HOME for the station.
    const std::filesystem::path& Path() const { return folder_; }
    // Where the settings store keeps this station's values.
    std::filesystem::path Settings() const { return folder_ / "Norvane" / "FW"; }
    // Makes this process's settings store this station's.
    void Use() const { ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1); }

private:
    static inline int counter_ = 0;
    std::filesystem::path folder_;
};

// Waits for `condition` with a bound, stretched by the build's patience; true
// when it came.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + Patience(within);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// One value of a query against the line database.
inline std::string QueryText(const std::string& conninfo, const std::string& sql,
                             const line::PgParams& params = {}) {
    line::PgConnection connection(conninfo);
    line::PgResult result = connection.Exec(sql, params);
    return result.Rows() == 0 || result.IsNull(0, 0) ? std::string{} : result.Text(0, 0);
}

inline long long QueryNumber(const std::string& conninfo, const std::string& sql,
                             const line::PgParams& params = {}) {
    const std::string text = QueryText(conninfo, sql, params);
    return text.empty() ? 0 : std::stoll(text);
}

}  // namespace comflash::testing
