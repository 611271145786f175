// The serial component's Win32 backend on a real port: run by run-on-pty,
// which maps COM names of a throw-away Wine prefix to a pseudo-terminal served
// by pty_peer.py, to a plain file and to a folder, and names them in the
// environment. Under Wine a pseudo-terminal reports no line
// events (WaitCommEvent fails with error 50, or 995 a moment later): reading
// and writing must go on regardless, without a hang-up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/device_line.h"
#include "app/update_session.h"
#include "protocol/frame.h"
#include "serial/comm.h"
#include "serial/event_loop.h"

namespace comflash {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

constexpr std::chrono::seconds kPatience{30};

std::string PortFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        ADD_FAILURE() << variable << " is not set: run this program through tests/win/run-on-pty";
        return "COM_UNSET";
    }
    return value;
}

Bytes Pattern(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>((7 * i + 1) % 256);
    return bytes;
}

std::optional<std::string> OpenFailure(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& error) {
        return error.what();
    }
    return std::nullopt;
}

class PeerPortTest : public ::testing::Test {
protected:
    PeerPortTest() {
        comm.SetCommName(PortFromEnvironment("COMFLASH_PEER_PORT"));
        // The line as the tool sets it up, so the port behaves as it does for the tool.
        ConfigureDeviceLine(comm);
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            chunks.emplace_back(buffer, buffer + length);
            received.insert(received.end(), buffer, buffer + length);
        };
        comm.OnRequestHangup = [this](TComm&) { ++hangups; };
        comm.OnSendDataEmpty = [this](TComm&) { ++drains; };
    }
    ~PeerPortTest() override {
        comm.ClosePort();
        EXPECT_EQ(hangups, 0) << "a worker thread of the port ended on a fault";
    }

    bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done, kPatience); }

    void Say(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_TRUE(comm.SendData(reinterpret_cast<const std::uint8_t*>(text.data()),
                                  static_cast<std::uint16_t>(text.size())));
    }
    // The next line the peer sent, without its line end; empty when none came.
    std::string AwaitLine() {
        std::size_t end = 0;
        const bool arrived = RunUntil([&] {
            for (end = 0; end < received.size(); ++end) {
                if (received[end] == '\n')
                    return true;
            }
            return false;
        });
        if (!arrived) {
            ADD_FAILURE() << "no line from the peer within " << kPatience.count() << " s";
            return {};
        }
        std::string line(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(end));
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(end) + 1);
        return line;
    }
    std::string AskSpeed() {
        Say("speed");
        return AwaitLine();
    }

    EventLoop loop;
    TComm comm{loop};
    Bytes received;
    std::vector<Bytes> chunks;
    int hangups = 0;
    int drains = 0;
};

// Wine turns a rate it does not know into 38400 without a word: the two the
// tool uses must reach the line as they are, also when switched while open.
TEST_F(PeerPortTest, PeerSeesEachRateTheToolSets) {
    comm.OpenPort();
    EXPECT_EQ(AskSpeed(), "9600");
    comm.SetBaudRate(38400);
    EXPECT_EQ(AskSpeed(), "38400");
    comm.SetBaudRate(9600);
    EXPECT_EQ(AskSpeed(), "9600");
}

// A rate the driver cannot run is read back after SetCommState, said through
// OnSettingRefused without raising, and the port goes on at the rate it kept.
TEST_F(PeerPortTest, ARateTheDriverCannotRunIsSaidAndThePortGoesOn) {
    std::vector<std::string> said;
    comm.OnSettingRefused = [&](TComm&, const std::string& what) { said.push_back(what); };
    comm.OpenPort();
    comm.SetBaudRate(250000);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said.front(), "the driver cannot run 250000 baud and keeps the line at 38400 baud");
    EXPECT_EQ(AskSpeed(), "38400");
    comm.SetBaudRate(9600);
    EXPECT_EQ(said.size(), 1u);
    EXPECT_EQ(AskSpeed(), "9600");
}

TEST_F(PeerPortTest, PortWithoutLineEventsKeepsReceiving) {
    comm.OpenPort();
    // Long enough for the event wait to fail late as well as at once.
    loop.RunFor(std::chrono::seconds(3));
    EXPECT_EQ(hangups, 0);
    EXPECT_EQ(AskSpeed(), "9600");
}

// With a total read time-out, reads on a silent line end empty again and
// again: reading goes on, nothing empty is posted, and close still returns.
TEST_F(PeerPortTest, EmptyReadsOnASilentLineKeepTheReadGoing) {
    comm.SetReadTotalTimeoutConstant(20);
    comm.OpenPort();
    loop.RunFor(milliseconds(500));
    EXPECT_EQ(hangups, 0);
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(AskSpeed(), "9600");
}

TEST_F(PeerPortTest, LongBurstArrivesInChunksOfAtMost2048InOrder) {
    comm.OpenPort();
    Say("burst 5000");
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 5000; }));
    EXPECT_EQ(received, Pattern(5000));
    EXPECT_GE(chunks.size(), 3u);
    for (const Bytes& chunk : chunks) {
        EXPECT_GE(chunk.size(), 1u);
        EXPECT_LE(chunk.size(), 2048u);
    }
}

TEST_F(PeerPortTest, LongWriteReachesThePeerWhole) {
    comm.OpenPort();
    std::string text;
    for (int i = 0; text.size() < 6000; ++i)
        text += std::to_string(i) + ",";
    Say("echo " + text);
    EXPECT_EQ(AwaitLine(), text);
}

TEST_F(PeerPortTest, DrainNoticeOnceAfterOpeningThenOncePerDrain) {
    comm.OpenPort();
    ASSERT_TRUE(RunUntil([&] { return drains >= 1; }));
    loop.RunFor(milliseconds(500));
    EXPECT_EQ(drains, 1);
    EXPECT_EQ(AskSpeed(), "9600");
    ASSERT_TRUE(RunUntil([&] { return drains >= 2; }));
    loop.RunFor(milliseconds(500));
    EXPECT_EQ(drains, 2);
}

TEST_F(PeerPortTest, OpensClosesAndReopens) {
    for (int round = 0; round < 3; ++round) {
        comm.OpenPort();
        Say("echo round " + std::to_string(round));
        EXPECT_EQ(AwaitLine(), "round " + std::to_string(round));
        comm.ClosePort();
        EXPECT_FALSE(comm.IsOpen());
    }
}

TEST_F(PeerPortTest, OpeningAnOpenComponentFailsAndLeavesThePortRunning) {
    comm.OpenPort();
    EXPECT_EQ(OpenFailure(comm), "This serial port already opened");
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(AskSpeed(), "9600");
}

// Quick turnaround: with the frame rule set, the thread keeps the read time
// itself and hands a frame on at its last byte. The interval is 5 s, so that
// no check depends on Wine's speed: a chunk that came within 5 s of asking
// the peer was ended by the rule; one ended by the interval came 5 s after
// its last byte, which the peer wrote after it was asked.
constexpr std::uint32_t kLongInterval = 5000;

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

Bytes Join(const Bytes& first, const Bytes& second) {
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    return all;
}

const Bytes kAck = EncodeFrame(0x91, Bytes{0x01});
const Bytes kIdentity = EncodeFrame(0x93, Pattern(608));
const Bytes kBadAck = {0xAB, 0xAB, 0x00, 0x02, 0x91, 0x01, 0xBF, 0x9B};

enum class EndedBy { Rule, Interval };

struct QuickCase {
    const char* name;
    std::string command;  // what the peer is asked to send
    std::vector<Bytes> chunks;
    EndedBy ended_by;
};

class QuickTurnaround : public PeerPortTest, public ::testing::WithParamInterface<QuickCase> {};

TEST_P(QuickTurnaround, FramesEndAtTheirLastByteUnderWine) {
    const QuickCase& row = GetParam();
    comm.SetReadIntervalTimeout(kLongInterval);
    comm.SetReadCompletion(EndsWithCheckedFrame);
    comm.OpenPort();
    std::size_t total = 0;
    for (const Bytes& chunk : row.chunks)
        total += chunk.size();

    const auto asked = std::chrono::steady_clock::now();
    Say(row.command);
    ASSERT_TRUE(RunUntil([&] { return received.size() >= total; }));
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_EQ(chunks, row.chunks);
    if (row.ended_by == EndedBy::Rule) {
        EXPECT_LT(waited, milliseconds(kLongInterval));
    } else {
        EXPECT_GE(waited, milliseconds(kLongInterval));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, QuickTurnaround,
    ::testing::Values(
        QuickCase{"whole_frame", "send " + Hex(kAck), {kAck}, EndedBy::Rule},
        QuickCase{"long_frame", "send " + Hex(kIdentity), {kIdentity}, EndedBy::Rule},
        QuickCase{"two_frames_back_to_back",
                  "send " + Hex(Join(kAck, kIdentity)),
                  {kAck, kIdentity},
                  EndedBy::Rule},
        QuickCase{"frame_in_two_parts",
                  "parts 100 " + Hex(Bytes(kIdentity.begin(), kIdentity.begin() + 300)) + " " +
                      Hex(Bytes(kIdentity.begin() + 300, kIdentity.end())),
                  {kIdentity},
                  EndedBy::Rule},
        QuickCase{"failed_check", "send " + Hex(kBadAck), {kBadAck}, EndedBy::Interval}),
    [](const auto& info) { return std::string(info.param.name); });

// A rule set on an open port: the read pending then still ends by the
// driver's interval, and the thread keeps the time itself from the next on.
TEST_F(PeerPortTest, RuleSetWhileOpenTakesOverFromTheNextRead) {
    comm.SetReadIntervalTimeout(kLongInterval);
    comm.OpenPort();
    // A full buffer ends a read whatever the interval: once it is in, the
    // pending read is surely one that began before the frames were asked for.
    Say("burst 2048");
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 2048; }));
    chunks.clear();
    comm.SetReadCompletion(EndsWithCheckedFrame);
    auto asked = std::chrono::steady_clock::now();
    Say("send " + Hex(kAck));
    ASSERT_TRUE(RunUntil([&] { return chunks.size() >= 1; }));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, milliseconds(kLongInterval));
    asked = std::chrono::steady_clock::now();
    Say("send " + Hex(kIdentity));
    ASSERT_TRUE(RunUntil([&] { return chunks.size() >= 2; }));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, milliseconds(kLongInterval));
    EXPECT_EQ(chunks, (std::vector<Bytes>{kAck, kIdentity}));
}

// The tool's own switch: at the update rate the frame rule, at 9600 the
// 30 ms grouping again, now measured by the thread; the rates reach the line.
TEST_F(PeerPortTest, QuickLineKeepsTheIntervalAtTheHelloRate) {
    comm.OpenPort();
    SetDeviceLineRate(comm, kFastUpdateRate, true);
    EXPECT_EQ(AskSpeed(), "38400");
    Say("send " + Hex(kAck));
    ASSERT_TRUE(RunUntil([&] { return chunks.size() >= 2 && chunks.back() == kAck; }));
    received.clear();
    SetDeviceLineRate(comm, kBaseRate, true);
    EXPECT_FALSE(comm.HasReadCompletion());
    EXPECT_EQ(AskSpeed(), "9600");
    Say("burst 5000");
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 5000; }));
    EXPECT_EQ(received, Pattern(5000));
    for (const Bytes& chunk : chunks) {
        EXPECT_GE(chunk.size(), 1u);
        EXPECT_LE(chunk.size(), 2048u);
    }
}

struct OpenFailureCase {
    const char* name;
    const char* port_variable;
    const char* message;
    const char* says;  // what the reason says after the device path
};

std::string OpenReason(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& error) {
        return error.Reason();
    }
    return {};
}

class OpenFailures : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailures, RaiseTheFixedTextAndLeaveTheComponentClosed) {
    EventLoop loop;
    TComm comm(loop);
    comm.SetCommName(PortFromEnvironment(GetParam().port_variable));
    EXPECT_EQ(OpenFailure(comm), GetParam().message);
    EXPECT_FALSE(comm.IsOpen());
    // Nothing of the failed attempt stays open: the same failure again.
    EXPECT_EQ(OpenFailure(comm), GetParam().message);
    // The device path tried, then why.
    const std::string reason = OpenReason(comm);
    EXPECT_EQ(reason.rfind("\\\\.\\COM", 0), 0u) << reason;
    EXPECT_NE(reason.find(GetParam().says), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(Ports, OpenFailures,
                         ::testing::Values(OpenFailureCase{"cannot_be_opened",
                                                           "COMFLASH_UNOPENABLE_PORT",
                                                           "Error opening serial port", "(error "},
                                           OpenFailureCase{"plain_file", "COMFLASH_FILE_PORT",
                                                           "File handle is not a comm handle ",
                                                           ": not a serial device"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
