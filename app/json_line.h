// The JSON lines comflash writes (the record, the --json events): one object
// per line, fields in the order they were added.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace comflash {

using JsonObject = nlohmann::ordered_json;

// The object on one line, without the line break. Text that is not UTF-8
// (a device can send any byte) has its bad bytes replaced, so that the line
// stays JSON that every reader takes.
std::string JsonLine(const JsonObject& object);

// UTC time with milliseconds, as 2026-12-10T11:53:17.123Z.
std::string IsoTime(std::int64_t unixMilliseconds);

}  // namespace comflash
