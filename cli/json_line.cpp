#include "cli/json_line.h"

#include <chrono>
#include <cstdio>

namespace comflash::cli {
namespace {

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

}  // namespace

void JsonLine::Name(std::string_view name) {
    if (!fields_.empty())
        fields_ += ",";
    fields_ += Quoted(name) + ":";
}

JsonLine& JsonLine::Add(std::string_view name, std::string_view text) {
    Name(name);
    fields_ += Quoted(text);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view name, std::int64_t number) {
    Name(name);
    fields_ += std::to_string(number);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view name, bool value) {
    Name(name);
    fields_ += value ? "true" : "false";
    return *this;
}

std::string IsoTime(std::int64_t unixMilliseconds) {
    using namespace std::chrono;
    const sys_time<milliseconds> when{milliseconds(unixMilliseconds)};
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{when - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

}  // namespace comflash::cli
