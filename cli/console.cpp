#include "cli/console.h"

#include <chrono>

#include "app/json_line.h"

namespace comflash::cli {
namespace {

std::int64_t NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string Bar(int position) {
    constexpr int kWidth = 20;
    const int filled = position * kWidth / 100;
    return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
           std::to_string(position) + "%";
}

std::string DeviceText(const DeviceSerial& device) {
    switch (device.kind) {
        case DeviceSerialKind::Number:
            return "device " + device.number;
        case DeviceSerialKind::None:
            return "device without serial number";
        case DeviceSerialKind::Unknown:
            break;
    }
    return "device serial number unknown: " + device.reason;
}

}  // namespace

Console::Console(ConsoleStyle style, std::ostream& out, std::ostream& err)
    : style_(style), out_(out), err_(err) {}

void Console::LogLine(const std::string& port, const std::string& line) {
    if (style_.json)
        return Event(port, "log", line);
    ClearBar();
    out_ << Prefix(port) << line << "\n";
    DrawBar();
    out_.flush();
}

void Console::Box(const std::string& port, const std::string& text, const std::string& title) {
    if (style_.json)
        return Event(port, "box", text);
    ClearBar();
    err_ << Prefix(port) << title << ": " << text << std::endl;
    DrawBar();
}

void Console::Progress(const std::string& port, int position) {
    PortView& view = ports_[port];
    if (view.progress == position)
        return;
    view.progress = position;
    if (style_.json)
        return Event(port, "progress", std::to_string(position));
    if (style_.progressBar) {
        ClearBar();
        DrawBar();
        out_.flush();
    }
}

void Console::Counters(const std::string& port, std::int32_t ok, std::int32_t errors) {
    PortView& view = ports_[port];
    view.ok = ok;
    view.errors = errors;
    if (style_.json)
        Event(port, "counters", "Ok:" + std::to_string(ok) + " Err:" + std::to_string(errors));
}

void Console::DeviceFinished(const std::string& port, const std::string& result,
                             const std::optional<DeviceSerial>& device) {
    if (!style_.json)
        return;
    JsonObject extra;
    AddDeviceSerial(extra, device);
    Event(port, "finished", result, extra);
}

// A line of its own after the Start line, never one of the window's log.
void Console::DeviceIdentified(const std::string& port, const DeviceSerial& device) {
    if (style_.json) {
        JsonObject extra;
        AddDeviceSerial(extra, device);
        return Event(port, "device", DeviceText(device), extra);
    }
    ClearBar();
    out_ << Prefix(port) << DeviceText(device) << "\n";
    DrawBar();
    out_.flush();
}

void Console::Error(const std::string& port, const std::string& text) {
    if (style_.json)
        return Event(port, "error", text);
    ClearBar();
    err_ << "comflash-cli: " << port << ": " << text << std::endl;
    DrawBar();
}

void Console::Summary(const std::string& port) {
    const PortView& view = ports_[port];
    const std::string counts =
        "Ok:" + std::to_string(view.ok) + " Err:" + std::to_string(view.errors);
    if (style_.json)
        return Event(port, "summary", counts);
    ClearBar();
    out_ << (style_.prefixPorts ? port + " " : "") << counts << std::endl;
}

void Console::RunSummary(const std::string& text) {
    if (text.empty())
        return;
    if (style_.json)
        return Event("", "run-summary", text);
    ClearBar();
    out_ << text << std::endl;
}

void Console::RunNotice(const std::string& text) {
    if (style_.json)
        return Event("", "notice", text);
    ClearBar();
    err_ << "comflash-cli: " << text << std::endl;
    DrawBar();
}

void Console::Event(const std::string& port, const char* kind, const std::string& text,
                    const JsonObject& extra) {
    const PortView& view = ports_[port];
    JsonObject event{{"port", port},
                     {"time", IsoTime(NowMilliseconds())},
                     {"kind", kind},
                     {"text", text},
                     {"ok", view.ok},
                     {"err", view.errors},
                     {"progress", view.progress}};
    if (extra.is_object())
        event.update(extra);
    out_ << JsonLine(event) << std::endl;
}

std::string Console::Prefix(const std::string& port) const {
    return style_.prefixPorts ? port + ": " : std::string();
}

void Console::ClearBar() {
    if (!barShown_)
        return;
    out_ << "\r\033[K";
    barShown_ = false;
}

void Console::DrawBar() {
    if (!style_.progressBar)
        return;
    std::string line;
    for (const auto& [port, view] : ports_) {
        if (view.progress == 0)
            continue;
        line += (line.empty() ? "" : "  ") + port + " " + Bar(view.progress);
    }
    if (line.empty())
        return;
    out_ << line;
    barShown_ = true;
}

}  // namespace comflash::cli
