// Drives the Windows windows as an operator would, from a program of its own
// under the same Wine: starts the real .exe, finds its window and controls,
// clicks them (posted, never sent: a sent click would wait for a modal box),
// reads their texts, answers the boxes, and starts the build machine's
// comflash-sim on the pseudo-terminals the harness mapped to COM1..COM4.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace comflash::wintest {

using std::chrono::milliseconds;

// A generous bound for anything a device or a window has to do; the tests
// never wait this long when all is well.
inline constexpr milliseconds kPatience{120000};

// What the harness (tests/win/windows-e2e) hands over, from the environment.
std::string Setting(const char* name);
// A path of the build machine as this program opens it (Z:\...).
std::string WindowsPath(const std::string& unixPath);

// Polls `done` until it holds or `within` has passed; true when it held.
bool WaitFor(const std::function<bool()>& done, milliseconds within = kPatience);

class Program {
public:
    // Starts the program at `path` (a build machine's path) with `arguments`.
    Program(const std::string& path, const std::vector<std::string>& arguments);
    // Ends it if it still runs.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    // Its exit status once it has ended within `within`.
    std::optional<DWORD> Wait(milliseconds within = kPatience) const;
    // Its visible top-level window of `className`, once it is there.
    HWND Window(const char* className, milliseconds within = kPatience) const;

private:
    PROCESS_INFORMATION info_{};
};

std::string Text(HWND window);
// A posted click: the program handles it when its loop comes round.
void Click(HWND control);
// The click a hidden button never gets from the mouse, as its window hears it.
void Press(HWND window, int controlId);
int CheckState(HWND checkBox);
int Selected(HWND comboBox);
int Position(HWND trackBar);

// A message box the program shows: its title and text.
struct Box {
    HWND window = nullptr;
    std::string title;
    std::string text;
};
std::optional<Box> FindBox(DWORD processId);
std::optional<Box> WaitForBox(DWORD processId, milliseconds within = kPatience);
// Presses the box's button (IDOK, IDYES, IDNO).
void Answer(const Box& box, int button);

// One comflash-sim playing devices on the port the harness mapped to `com`
// (COM1..COM4), through a link it keeps at that path.
class Sim {
public:
    Sim(int com, const std::vector<std::string>& arguments);
    ~Sim();
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    // The report's lines once it holds `devices` (what it holds after the
    // patience ran out otherwise: the caller checks).
    std::vector<nlohmann::json> Report(std::size_t devices, milliseconds within = kPatience) const;

private:
    std::string report_;
    long pid_ = 0;  // the simulator's process id on the build machine
};

// HKEY_CURRENT_USER\software\Norvane\FW, as the programs keep it.
void ClearSettings();
void Store(const std::string& name, const std::string& text);
std::string Stored(const std::string& name);

}  // namespace comflash::wintest
