// Everything comflash-cli tells its user: the window's log lines on standard
// output (prefixed by the port when there are several), its message boxes as
// lines on standard error, a progress bar per port on a terminal, or with
// --json one JSON object per event instead.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "app/device_record.h"
#include "app/json_line.h"
#include "protocol/identity_reply.h"

namespace comflash::cli {

struct ConsoleStyle {
    bool json = false;
    bool prefixPorts = false;
    bool progressBar = false;  // standard output is a terminal
};

class Console {
public:
    Console(ConsoleStyle style, std::ostream& out, std::ostream& err);

    void LogLine(const std::string& port, const std::string& line);
    void Box(const std::string& port, const std::string& text, const std::string& title);
    void Progress(const std::string& port, int position);
    void Counters(const std::string& port, std::int32_t ok, std::int32_t errors);
    void DeviceFinished(const std::string& port, const std::string& result,
                        const std::optional<DeviceSerial>& device);
    void DeviceIdentified(const std::string& port, const DeviceSerial& device);
    void Error(const std::string& port, const std::string& text);
    void Summary(const std::string& port);
    // One line for the whole run (the serial numbers' summary); nothing when empty.
    void RunSummary(const std::string& text);
    // Something about the whole run, not one port (the line database), on
    // standard error.
    void RunNotice(const std::string& text);

private:
    struct PortView {
        std::int32_t ok = 0;
        std::int32_t errors = 0;
        int progress = 0;
    };

    void Event(const std::string& port, const char* kind, const std::string& text,
               const JsonObject& extra = {});
    std::string Prefix(const std::string& port) const;
    void ClearBar();
    void DrawBar();

    ConsoleStyle style_;
    std::ostream& out_;
    std::ostream& err_;
    std::map<std::string, PortView> ports_;
    bool barShown_ = false;
};

}  // namespace comflash::cli
