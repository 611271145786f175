#include "tools/sim/trace.h"

#include <cstdio>
#include <string>

#include "tools/sim/device_link.h"

namespace comflash::sim {
namespace {

// Enough of a frame to recognise it; a block's 256 bytes would drown the rest.
constexpr std::size_t kShownBytes = 24;

const char* CommandName(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 5 || bytes[0] != link::kSync || bytes[1] != link::kSync)
        return "bytes";
    switch (bytes[4]) {
        case link::kHello:
            return "hello";
        case link::kHandshake:
            return "handshake";
        case link::kIdentity:
            return "identity";
        case link::kWrite:
            return "write";
        case link::kBlock:
            return "block";
        case link::kChecksum:
            return "checksum";
        case link::kFinish:
            return "finish";
        default:
            return "frame";
    }
}

}  // namespace

void Trace::Frame(unsigned device, Direction direction, std::span<const std::uint8_t> bytes,
                  std::optional<int> baud, std::string_view note) const {
    if (!enabled_)
        return;
    std::string hex;
    for (std::size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", bytes[i]);
        hex += byte;
    }
    if (bytes.size() > kShownBytes)
        hex += "... ";
    const auto ms = std::chrono::duration_cast<Millis>(Clock::now() - start_).count();
    std::fprintf(
        stderr, "%8lld ms  #%u  %s  %6s  %-9s %s(%zu bytes)%s%.*s\n", static_cast<long long>(ms),
        device, direction == Direction::FromHost ? "host>dev" : "dev>host",
        baud ? std::to_string(*baud).c_str() : "?", CommandName(bytes), hex.c_str(), bytes.size(),
        note.empty() ? "" : "  ", static_cast<int>(note.size()), note.data());
}

void Trace::Event(unsigned device, std::string_view text) const {
    if (!enabled_)
        return;
    const auto ms = std::chrono::duration_cast<Millis>(Clock::now() - start_).count();
    std::fprintf(stderr, "%8lld ms  #%u  %.*s\n", static_cast<long long>(ms), device,
                 static_cast<int>(text.size()), text.data());
}

}  // namespace comflash::sim
