#include "tests/win/window_driver.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace comflash::wintest {
namespace {

constexpr const char* kSettingsKey = "software\\Norvane\\FW";

std::string Quoted(const std::string& argument) {
    return "\"" + argument + "\"";
}

PROCESS_INFORMATION Start(const std::string& path, const std::vector<std::string>& arguments) {
    std::string command = path.find(' ') == std::string::npos ? path : Quoted(path);
    for (const auto& argument : arguments)
        command += " " + Quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        throw std::runtime_error("cannot start " + command + " (error " +
                                 std::to_string(GetLastError()) + ")");
    return info;
}

void Stop(PROCESS_INFORMATION& info) {
    if (info.hProcess == nullptr)
        return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    info = {};
}

struct Search {
    DWORD processId;
    const char* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK Look(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className - 1);
    if (owner == search.processId && std::string(className) == search.className &&
        (!search.visibleOnly || IsWindowVisible(window))) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(DWORD processId, const char* className, bool visibleOnly) {
    Search search{processId, className, visibleOnly, nullptr};
    EnumWindows(&Look, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        throw std::runtime_error(std::string(name) +
                                 " is not set: run the window tests through windows-e2e");
    return value;
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

bool WaitFor(const std::function<bool()>& done, milliseconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        Sleep(20);
    }
    return true;
}

Program::Program(const std::string& path, const std::vector<std::string>& arguments)
    : info_(Start(WindowsPath(path), arguments)) {}

Program::~Program() {
    Stop(info_);
}

std::optional<DWORD> Program::Wait(milliseconds within) const {
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(within.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(info_.hProcess, &status);
    return status;
}

HWND Program::Window(const char* className, milliseconds within) const {
    HWND window = nullptr;
    WaitFor([&] { return (window = FindTopLevel(Id(), className, true)) != nullptr; }, within);
    return window;
}

std::string Text(HWND window) {
    char text[65536] = {};
    DWORD_PTR length = 0;
    // Marshalled to the other program: a bounded wait, never a hang.
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text - 1, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    return std::string(text, length);
}

void Click(HWND control) {
    PostMessageA(control, BM_CLICK, 0, 0);
}

void Press(HWND window, int controlId) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, controlId)));
}

int CheckState(HWND checkBox) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(checkBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return static_cast<int>(state);
}

int Selected(HWND comboBox) {
    DWORD_PTR selected = 0;
    SendMessageTimeoutA(comboBox, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected);
    return static_cast<int>(static_cast<LRESULT>(selected));
}

int Position(HWND trackBar) {
    DWORD_PTR position = 0;
    SendMessageTimeoutA(trackBar, 0x0400 /* TBM_GETPOS */, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    return static_cast<int>(position);
}

std::optional<Box> FindBox(DWORD processId) {
    HWND window = FindTopLevel(processId, "#32770", true);
    if (window == nullptr)
        return std::nullopt;
    // A message box's text is its static control 0xFFFF.
    return Box{window, Text(window), Text(GetDlgItem(window, 0xFFFF))};
}

std::optional<Box> WaitForBox(DWORD processId, milliseconds within) {
    std::optional<Box> box;
    WaitFor([&] { return (box = FindBox(processId)).has_value(); }, within);
    return box;
}

void Answer(const Box& box, int button) {
    HWND pressed = GetDlgItem(box.window, button);
    PostMessageA(pressed != nullptr ? pressed : box.window, BM_CLICK, 0, 0);
    // The box is gone before the next look for one.
    WaitFor([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); },
            milliseconds(10000));
}

// Wine starts a program of the build machine as it is, but hands back a
// handle no one can wait for or end: a shell starts the simulator in the
// background and writes its process id once its port is there.
Sim::Sim(int com, const std::vector<std::string>& arguments) {
    const std::string dir = Setting("COMFLASH_TEST_DIR");
    const std::string link = dir + "/port" + std::to_string(com);
    report_ = dir + "/sim" + std::to_string(com) + ".jsonl";
    const std::string pidFile = dir + "/sim" + std::to_string(com) + ".pid";
    DeleteFileA(WindowsPath(report_).c_str());
    DeleteFileA(WindowsPath(pidFile).c_str());
    std::string command = "'" + Setting("COMFLASH_SIM") + "' --link '" + link + "' --expect '" +
                          Setting("COMFLASH_FIRMWARE") + "' --report '" + report_ + "'";
    // A device ends a second after the host fell silent, unless the case says otherwise.
    if (std::find(arguments.begin(), arguments.end(), "--quiet-end") == arguments.end())
        command += " --quiet-end 1000";
    for (const auto& argument : arguments)
        command += " '" + argument + "'";
    const std::string script =
        command + " >/dev/null 2>'" + dir + "/sim" + std::to_string(com) +
        ".err' & p=$!; i=0; while [ ! -L '" + link +
        "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done; echo $p >'" + pidFile + "'";
    PROCESS_INFORMATION shell = Start("/bin/sh", {"-c", script});
    CloseHandle(shell.hThread);
    CloseHandle(shell.hProcess);
    if (!WaitFor(
            [&] {
                std::ifstream in(WindowsPath(pidFile));
                return static_cast<bool>(in >> pid_);
            },
            milliseconds(60000)))
        throw std::runtime_error("the simulator made no port at " + link);
}

Sim::~Sim() {
    PROCESS_INFORMATION kill = Start("/bin/kill", {std::to_string(pid_)});
    CloseHandle(kill.hThread);
    CloseHandle(kill.hProcess);
}

std::vector<nlohmann::json> Sim::Report(std::size_t devices, milliseconds within) const {
    std::vector<nlohmann::json> lines;
    WaitFor(
        [&] {
            lines.clear();
            std::ifstream in(WindowsPath(report_));
            for (std::string line; std::getline(in, line);) {
                if (!line.empty())
                    lines.push_back(nlohmann::json::parse(line));
            }
            return lines.size() >= devices;
        },
        within);
    return lines;
}

void ClearSettings() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

void Store(const std::string& name, const std::string& text) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name.c_str(), REG_SZ, text.c_str(),
                    static_cast<DWORD>(text.size() + 1));
}

std::string Stored(const std::string& name) {
    char text[256] = {};
    DWORD size = sizeof text - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name.c_str(), RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS)
        return {};
    return text;
}

}  // namespace comflash::wintest
