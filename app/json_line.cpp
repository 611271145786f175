#include "app/json_line.h"

#include <chrono>
#include <cstdio>

namespace comflash {

std::string JsonLine(const JsonObject& object) {
    return object.dump(-1, ' ', false, JsonObject::error_handler_t::replace);
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

}  // namespace comflash
