#include "cli/console.h"

#include <chrono>

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

}  // namespace

Console::Console(ConsoleStyle style, std::ostream& out, std::ostream& err)
    : style_(style), out_(out), err_(err) {}

void Console::Out(const std::string& line) {
    ClearBar();
    out_ << line << "\n";
    DrawBar();
    out_.flush();
}

void Console::Err(const std::string& line) {
    ClearBar();
    err_ << line << std::endl;
    DrawBar();
}

void Console::Event(const std::string& port, const PortCounts& counts, const char* kind,
                    const std::string& text, const JsonObject& extra) {
    JsonObject event{{"port", port},
                     {"time", IsoTime(NowMilliseconds())},
                     {"kind", kind},
                     {"text", text},
                     {"ok", counts.ok},
                     {"err", counts.errors},
                     {"progress", counts.progress}};
    if (extra.is_object())
        event.update(extra);
    out_ << JsonLine(event) << std::endl;
}

void Console::ShowProgress(const std::string& port, int position) {
    progress_[port] = position;
    if (!style_.progressBar)
        return;
    ClearBar();
    DrawBar();
    out_.flush();
}

void Console::RunSummary(const std::string& text) {
    if (text.empty())
        return;
    if (style_.json)
        return Event("", {}, "run-summary", text);
    ClearBar();
    out_ << text << std::endl;
}

void Console::RunNotice(const std::string& text) {
    if (text.empty())
        return;
    if (style_.json)
        return Event("", {}, "notice", text);
    Err("comflash-cli: " + text);
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
    for (const auto& [port, position] : progress_) {
        if (position == 0)
            continue;
        line += (line.empty() ? "" : "  ") + port + " " + Bar(position);
    }
    if (line.empty())
        return;
    out_ << line;
    barShown_ = true;
}

}  // namespace comflash::cli
