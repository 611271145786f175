// Two ports of one comflash-cli process writing serial numbers, each on a
// pseudo-terminal where the test plays the device: whatever the devices send,
// one number reaches one device only.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/settings_store.h"
#include "cli/port_runner.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "serial/event_loop.h"
#include "tests/serial/pty_pair.h"
#include "sim_process.h"

namespace comflash::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

Bytes Hello(std::vector<std::uint8_t> payload) {
    return EncodeFrame(command::kHello, payload);
}
Bytes IdentityReply() {
    return EncodeFrame(command::kIdentity, Bytes(610, 0x5A));
}

// One device's end of a port and the runner that serves it.
struct Line {
    Line(EventLoop& loop, RunContext& context) : runner(pty.SlavePath(), loop, context) {}
    test::PtyPair pty;
    PortRunner runner;
    Bytes received;  // everything the tool sent to this device
};

class SerialNumberTurns : public ::testing::Test {
protected:
    SerialNumberTurns() {
        ::setenv("XDG_CONFIG_HOME", scratch.Path().c_str(), 1);
        options.writeSerialNumbers = true;
        image.Length = 512;
        a.runner.Open();
        b.runner.Open();
    }

    void Send(Line& line, const Bytes& bytes) {
        line.pty.Write(bytes);
        Settle();
    }
    // Lets the runners handle what arrived and collects what they sent.
    void Settle() {
        loop.RunFor(milliseconds(150));
        for (Line* line : {&a, &b}) {
            const Bytes sent = line->pty.Read(1 << 16, milliseconds(50));
            line->received.insert(line->received.end(), sent.begin(), sent.end());
        }
    }
    // The hello delay runs out on both ports: each asks its device for its identity.
    void EndHelloDelays() {
        for (int tick = 0; tick < 3; ++tick) {
            a.runner.Tick2();
            b.runner.Tick2();
        }
        Settle();
    }
    static bool Holds(const Line& line, const std::string& number) {
        const std::string record = number + "#";
        return std::search(line.received.begin(), line.received.end(), record.begin(),
                           record.end()) != line.received.end();
    }

    simtest::TempDir scratch;
    CliOptions options;
    FirmwareImage image;
    SettingsStore settings;
    std::ostringstream out, err;
    Console console{{}, out, err};
    SerialNumberPool pool{"AB12000345"};
    EventLoop loop;
    RunContext context{options, image, settings, console, nullptr, &pool, 0, [] {}, [] {}};
    Line a{loop, context};
    Line b{loop, context};
};

// A refused hello in the middle of a device's hello delay ends "that device"
// and gives the turn away, while the device before it goes on.
TEST_F(SerialNumberTurns, RefusedHelloDuringTheDelayDoesNotLetTwoDevicesShareANumber) {
    Send(a, Hello({kHelloMarker, '3'}));
    Send(a, Hello({kHelloMarker}));  // "E0"
    Send(b, Hello({kHelloMarker, '3'}));
    EndHelloDelays();
    a.pty.Write(IdentityReply());
    b.pty.Write(IdentityReply());
    Settle();

    EXPECT_TRUE(Holds(a, "AB12000345") != Holds(b, "AB12000345")) << err.str();
    // The port left without a number is back at the hello rate for its next device.
    const Line& without = Holds(a, "AB12000345") ? b : a;
    EXPECT_EQ(without.pty.LineSpeed(), B9600);
}

// A damaged identity reply counts even on a port at rest (noise, or a late
// reply); it must not take the number on its way to another port's device.
TEST_F(SerialNumberTurns, StrayIdentityReplyOnAnotherPortGetsNoNumber) {
    Send(a, Hello({kHelloMarker, '3'}));
    // No frame, but the bytes the controller tests for a damaged identity reply.
    Send(b, Bytes{kSyncByte, kSyncByte, 0x00, command::kIdentity, 0x00, 0x00});
    EndHelloDelays();
    Send(a, IdentityReply());

    EXPECT_TRUE(Holds(a, "AB12000345")) << err.str();
    EXPECT_FALSE(Holds(b, "AB12000345")) << err.str();
    EXPECT_EQ(b.pty.LineSpeed(), B9600);
}

}  // namespace
}  // namespace comflash::cli
