// The terminal of comflash-cli, shared by its ports: standard output for the
// log, standard error for boxes and problems, a progress bar per port when
// standard output is a terminal, or with --json one JSON object per event
// instead. Each port formats its own events (see port_runner.h).
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "app/json_line.h"

namespace comflash::cli {

struct ConsoleStyle {
    bool json = false;
    bool prefixPorts = false;
    bool progressBar = false;  // standard output is a terminal
};

// What a --json event says of its port besides itself.
struct PortCounts {
    std::int32_t ok = 0;
    std::int32_t errors = 0;
    int progress = 0;
};

class Console {
public:
    Console(ConsoleStyle style, std::ostream& out, std::ostream& err);

    const ConsoleStyle& Style() const { return style_; }

    // One line on standard output or standard error, written around the
    // progress bars.
    void Out(const std::string& line);
    void Err(const std::string& line);
    // One JSON object on standard output.
    void Event(const std::string& port, const PortCounts& counts, const char* kind,
               const std::string& text, const JsonObject& extra = {});
    // A port's progress moved: its bar is drawn anew.
    void ShowProgress(const std::string& port, int position);

    // About the whole run, not one port: the serial numbers' summary on
    // standard output, the line database and other notices on standard
    // error. Nothing for an empty text.
    void RunSummary(const std::string& text);
    void RunNotice(const std::string& text);

private:
    void ClearBar();
    void DrawBar();

    ConsoleStyle style_;
    std::ostream& out_;
    std::ostream& err_;
    std::map<std::string, int> progress_;  // of every port with a bar
    bool barShown_ = false;
};

}  // namespace comflash::cli
