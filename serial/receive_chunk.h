// The chunk a receive thread gathers: the bytes of one read, when that read
// is to end (by its time-outs, or at once when the owner's completion rule
// finds a whole unit), and the bytes after a whole unit, which begin the next
// chunk. Both backends gather their chunks with it; it is used on the receive
// thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "serial/line_settings.h"
#include "serial/read_completion.h"
#include "serial/read_deadline.h"

namespace comflash {

class ReceiveChunk {
public:
    using Clock = ReadDeadline::Clock;

    explicit ReceiveChunk(const SharedReadCompletion& completion);

    // A read begins, under the time-outs in force now. Bytes left over from
    // the chunk before count as having come now.
    void Begin(const CommTimeouts& timeouts, Clock::time_point now);
    // Where the next bytes of the line go, and how many fit.
    std::uint8_t* Space() { return buffer_.data() + held_; }
    std::size_t SpaceLeft() const { return buffer_.size() - held_; }
    // `count` bytes were placed at Space() at `now`.
    void Arrived(std::size_t count, Clock::time_point now);
    // A total time-out ran out with nothing held: the read begins again.
    void Restart(Clock::time_point now) { deadline_.Restart(now); }

    const std::uint8_t* Data() const { return buffer_.data(); }
    std::size_t Held() const { return held_; }
    // How many bytes go out now; 0 while the read goes on. A whole unit goes
    // alone; otherwise all that is held, when the buffer is full or the
    // time-outs say to return at once.
    std::size_t ReadyNow() const;
    // When the read ends with all it holds unless more comes; nullopt: no limit.
    std::optional<Clock::time_point> Deadline() const { return deadline_.Deadline(held_); }
    // The first `count` bytes went out; the rest wait for the next Begin.
    void Delivered(std::size_t count);

private:
    // Puts every longer stretch of the chunk, from `from` + 1 bytes on, to the rule.
    void Examine(std::size_t from);

    const SharedReadCompletion& completion_;
    // The rule taken at the chunk's first byte, kept for the whole chunk.
    std::shared_ptr<const ReadCompletion> rule_;
    std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
    std::size_t held_ = 0;
    std::size_t whole_ = 0;  // bytes of the whole unit found; 0 while there is none
    ReadDeadline deadline_;
};

}  // namespace comflash
