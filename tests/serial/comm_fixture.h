// A component on the slave end of a fresh pseudo-terminal pair, run by an event
// loop, with every event it fires recorded.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "serial/comm.h"
#include "serial/event_loop.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/patience.h"

namespace comflash::test {

inline const std::chrono::milliseconds kPatience = testing::Patience(std::chrono::seconds(20));

struct RecordedEvents {
    std::vector<std::vector<std::uint8_t>> chunks;
    std::vector<std::uint32_t> line_errors;
    int hangups = 0;
    int drains = 0;

    std::size_t BytesReceived() const {
        std::size_t total = 0;
        for (const auto& chunk : chunks)
            total += chunk.size();
        return total;
    }
    std::vector<std::uint8_t> AllBytes() const {
        std::vector<std::uint8_t> all;
        for (const auto& chunk : chunks)
            all.insert(all.end(), chunk.begin(), chunk.end());
        return all;
    }
};

// Every handler records; the tests add behaviour through the hooks.
inline void RecordEvents(TComm& comm, RecordedEvents& events) {
    comm.OnReceiveData = [&events](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        events.chunks.emplace_back(buffer, buffer + length);
    };
    comm.OnReceiveError = [&events](TComm&, std::uint32_t mask) {
        events.line_errors.push_back(mask);
    };
    comm.OnRequestHangup = [&events](TComm&) { ++events.hangups; };
    comm.OnSendDataEmpty = [&events](TComm&) { ++events.drains; };
}

// The update tool's own values: binary data, no flow control. (The
// component's defaults turn XON/XOFF on, which swallows 0x11 and 0x13.)
inline void UseUpdateToolSettings(TComm& comm) {
    comm.SetDtrControl(TDtrControl::DtrDisable);
    comm.SetTxContinueOnXoff(false);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetRtsControl(TRtsControl::RtsDisable);
    comm.SetReadIntervalTimeout(30);
}

class CommTest : public ::testing::Test {
protected:
    CommTest() {
        comm.SetCommName(pty.SlavePath());
        UseUpdateToolSettings(comm);
        RecordEvents(comm, events);
    }

    bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done, kPatience); }
    bool ReceiveBytes(std::size_t count) {
        return RunUntil([&] { return events.BytesReceived() >= count; });
    }

    EventLoop loop;
    PtyPair pty;
    TComm comm{loop};
    RecordedEvents events;
};

}  // namespace comflash::test
