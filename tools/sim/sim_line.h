// The device end of the serial line the simulator serves: a new
// pseudo-terminal pair, or an existing device path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace comflash::sim {

class LineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SimLine {
public:
    virtual ~SimLine() = default;

    // Where the host opens the line.
    virtual std::string Path() const = 0;
    // Descriptor to wait on for host bytes, or -1 while the line is gone.
    virtual int Fd() const = 0;
    // Whether the host holds the line open; without a way to tell, always true.
    virtual bool HostHasOpen() = 0;
    // The speed the host set on its end, when the line lets the device see it.
    virtual std::optional<int> HostBaud() = 0;
    // The speed the device itself listens at (matters on a real serial port).
    virtual void ListenAt(int baud) = 0;

    // Bytes read, 0 when nothing is waiting or the host is gone.
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // Bytes written; a wire drops what nobody reads, so nothing is queued.
    virtual std::size_t Write(std::span<const std::uint8_t> bytes) = 0;

    // The line disappears under the host (a cable pulled) ...
    virtual void Vanish() = 0;
    // ... and comes back, on a new path where the line allows it.
    virtual void Return() = 0;
};

// A new pseudo-terminal pair; `link` (when given) is kept pointing at its path.
std::unique_ptr<SimLine> OpenPtyLine(const std::optional<std::filesystem::path>& link);
// An existing serial device, for a host on another machine or another pair.
std::unique_ptr<SimLine> AttachLine(const std::filesystem::path& path);

}  // namespace comflash::sim
