// Two ports of one comflash-cli process writing serial numbers at once, each
// on a pseudo-terminal where the test plays the device: whatever the devices
// send, one number reaches one device only.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "app/serial_numbers.h"
#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "cli/port_runner.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "serial/event_loop.h"
#include "sim_process.h"
#include "tests/serial/pty_pair.h"

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
    Line(EventLoop& loop, const StationParts& parts, Console& console)
        : runner(pty.SlavePath(), loop, parts, StationRules{.provisioning = true}, {}, console,
                 {[] {}, [] {}}) {}
    test::PtyPair pty;
    PortRunner runner;
    Bytes received;  // everything the tool sent to this device
};

class SerialNumberTurns : public ::testing::Test {
protected:
    SerialNumberTurns() {
        ::setenv("XDG_CONFIG_HOME", scratch.Path().c_str(), 1);
        settings.WriteSetting("SN", "AB12000345");
        image.Length = 512;
        a.runner.Open();
        b.runner.Open();
    }

    // Runs the runners until `done` holds, collecting what they sent.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline =
            std::chrono::steady_clock::now() + testing::Patience(std::chrono::seconds(20));
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            loop.RunFor(milliseconds(5));
            for (Line* line : {&a, &b}) {
                const Bytes sent = line->pty.Read(1 << 16, milliseconds(0));
                line->received.insert(line->received.end(), sent.begin(), sent.end());
            }
        }
        return true;
    }
    // The device says hello and the tool answers it.
    void AnsweredHello(Line& line) {
        const std::size_t before = Frames(line, command::kHandshake);
        line.pty.Write(Hello({kHelloMarker, '3'}));
        ASSERT_TRUE(RunUntil([&] { return Frames(line, command::kHandshake) > before; }))
            << err.str();
    }
    // The device says hello without a version: "E0", and its run is over.
    void RefusedHello(Line& line) {
        const unsigned before = line.runner.FinishedDevices();
        line.pty.Write(Hello({kHelloMarker}));
        ASSERT_TRUE(RunUntil([&] { return line.runner.FinishedDevices() > before; }));
    }
    // The hello delay runs out on both ports: each asks its device for its identity.
    void EndHelloDelays() {
        for (int tick = 0; tick < 3; ++tick) {
            a.runner.Tick2();
            b.runner.Tick2();
        }
    }
    bool AskedForIdentity(const Line& line) const { return Frames(line, command::kIdentity) > 0; }
    // How many frames with this command the tool has sent to the device.
    static std::size_t Frames(const Line& line, std::uint8_t command) {
        std::size_t count = 0;
        const Bytes& bytes = line.received;
        for (std::size_t i = 0; i + 4 < bytes.size(); ++i) {
            if (bytes[i] == kSyncByte && bytes[i + 1] == kSyncByte && bytes[i + 4] == command)
                ++count;
        }
        return count;
    }
    static bool Holds(const Line& line, const std::string& number) {
        const std::string record = number + "#";
        return std::search(line.received.begin(), line.received.end(), record.begin(),
                           record.end()) != line.received.end();
    }

    // The number each device was sent, if any.
    static std::string NumberSent(const Line& line) {
        const std::string text(line.received.begin(), line.received.end());
        const std::size_t at = text.find("AB12000");
        return at == std::string::npos ? std::string() : text.substr(at, 10);
    }

    simtest::TempDir scratch;
    FirmwareImage image;
    SettingsStore settings;
    std::ostringstream out, err;
    Console console{{}, out, err};
    EventLoop loop;
    StoredSerialNumbers numbers{settings};
    SerialNumbers owner{numbers, loop};
    StationParts parts{image, 0, owner, {}};
    Line a{loop, parts, console};
    Line b{loop, parts, console};
};

// A refused hello in the middle of a device's hello delay ends "that device";
// the device before it goes on, and each port's device gets its own number.
TEST_F(SerialNumberTurns, RefusedHelloDuringTheDelayDoesNotLetTwoDevicesShareANumber) {
    AnsweredHello(a);
    RefusedHello(a);
    AnsweredHello(b);
    EndHelloDelays();
    ASSERT_TRUE(RunUntil([&] { return AskedForIdentity(a) && AskedForIdentity(b); }));
    a.pty.Write(IdentityReply());
    b.pty.Write(IdentityReply());
    ASSERT_TRUE(RunUntil([&] { return !NumberSent(a).empty() && !NumberSent(b).empty(); }))
        << err.str();

    EXPECT_NE(NumberSent(a), NumberSent(b));
    EXPECT_TRUE(Holds(a, NumberSent(a)) && Holds(b, NumberSent(b)));
}

// A damaged identity reply counts even on a port at rest (noise, or a late
// reply): its "device" cannot say what it holds, so it is written nothing.
TEST_F(SerialNumberTurns, StrayIdentityReplyOnAnotherPortGetsNoNumber) {
    AnsweredHello(a);
    // No frame, but the bytes the controller tests for a damaged identity reply.
    b.pty.Write(Bytes{kSyncByte, kSyncByte, 0x00, command::kIdentity, 0x00, 0x00});
    ASSERT_TRUE(RunUntil([&] { return b.runner.FinishedDevices() == 1; }))
        << "the stray reply ends a device on its port without a number";
    EndHelloDelays();
    ASSERT_TRUE(RunUntil([&] { return AskedForIdentity(a); }));
    a.pty.Write(IdentityReply());
    ASSERT_TRUE(RunUntil([&] { return Holds(a, "AB12000345"); })) << err.str();

    EXPECT_EQ(NumberSent(b), "") << err.str();
    EXPECT_EQ(b.pty.LineSpeed(), B9600);
}

}  // namespace
}  // namespace comflash::cli
