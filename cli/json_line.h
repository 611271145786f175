// One JSON object on one line, built field by field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comflash::cli {

class JsonLine {
public:
    JsonLine& Add(std::string_view name, std::string_view text);
    JsonLine& Add(std::string_view name, const char* text) {
        return Add(name, std::string_view(text));
    }
    JsonLine& Add(std::string_view name, std::int64_t number);
    JsonLine& Add(std::string_view name, bool value);
    std::string Text() const { return "{" + fields_ + "}"; }

private:
    void Name(std::string_view name);
    std::string fields_;
};

// UTC time with milliseconds, as 2026-12-10T11:53:17.123Z.
std::string IsoTime(std::int64_t unixMilliseconds);

}  // namespace comflash::cli
