// Sending: queued copies written in order, one drain notice per drain, and a
// close that never waits on a line that has stopped taking bytes.
#include <poll.h>
#include <sys/ioctl.h>

#include <future>
#include <thread>

#include "tests/serial/comm_fixture.h"

namespace comflash::test {
namespace {

using std::chrono::milliseconds;

TEST_F(CommTest, SendDataRefusesAClosedComponentAndAnEmptyBuffer) {
    const std::uint8_t byte = 0x31;
    EXPECT_FALSE(comm.SendData(&byte, 1));
    comm.OpenPort();
    EXPECT_FALSE(comm.SendData(&byte, 0));
    EXPECT_TRUE(comm.SendData(&byte, 1));
    EXPECT_EQ(pty.Read(1, kPatience), std::vector<std::uint8_t>{0x31});
    EXPECT_TRUE(pty.Read(1, milliseconds(200)).empty()) << "one byte sent, one arrives";
}

TEST_F(CommTest, FramesQueuedQuicklyAllArriveInOrder) {
    comm.OpenPort();
    std::vector<std::uint8_t> sent;
    for (std::size_t frame = 0; frame < 1500; ++frame) {
        std::vector<std::uint8_t> bytes = Pattern(frame % 263 + 1, static_cast<int>(frame));
        ASSERT_TRUE(comm.SendData(bytes.data(), static_cast<std::uint16_t>(bytes.size())));
        // The component keeps its own copy.
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        std::fill(bytes.begin(), bytes.end(), 0);
    }
    EXPECT_EQ(pty.Read(sent.size(), kPatience), sent);
}

// Blocks queued while the line is stuck behind a large one give one notice
// for the whole run, after the last byte has gone; none per block.
TEST_F(CommTest, SendDataEmptyFiresOnceAtStartAndOncePerDrain) {
    comm.OpenPort();
    ASSERT_TRUE(RunUntil([&] { return events.drains == 1; }));
    loop.RunFor(milliseconds(100));
    EXPECT_EQ(events.drains, 1);

    std::vector<std::uint8_t> sent = Pattern(65535);
    ASSERT_TRUE(comm.SendData(sent.data(), static_cast<std::uint16_t>(sent.size())));
    for (int frame = 0; frame < 200; ++frame) {
        const std::vector<std::uint8_t> bytes = Pattern(40, frame);
        ASSERT_TRUE(comm.SendData(bytes.data(), 40));
        sent.insert(sent.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(pty.Read(sent.size(), kPatience), sent);
    ASSERT_TRUE(RunUntil([&] { return events.drains == 2; }));
    loop.RunFor(milliseconds(200));
    EXPECT_EQ(events.drains, 2);

    const std::uint8_t byte = 0x01;
    ASSERT_TRUE(comm.SendData(&byte, 1));
    EXPECT_EQ(pty.Read(1, kPatience).size(), 1u);
    EXPECT_TRUE(RunUntil([&] { return events.drains == 3; }));
}

// Fails the test rather than hanging it when `action` does not return.
void ReturnsWithin(milliseconds patience, const std::function<void()>& action) {
    auto done = std::async(std::launch::async, action);
    if (done.wait_for(patience) != std::future_status::ready) {
        ADD_FAILURE() << "did not return within " << patience.count() << " ms";
        std::abort();
    }
    done.get();
}

TEST_F(CommTest, ClosePortDuringABlockedWriteReturns) {
    comm.OpenPort();
    const std::vector<std::uint8_t> block = Pattern(65535);
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(comm.SendData(block.data(), 65535));
    // The device reads nothing: the line fills up and the write waits.
    int waiting = 0;
    for (int tries = 0; tries < 1000 && waiting < 4000; ++tries) {
        std::this_thread::sleep_for(milliseconds(10));
        ::ioctl(pty.Master(), FIONREAD, &waiting);
    }
    ASSERT_GE(waiting, 4000);
    ReturnsWithin(kPatience, [&] { comm.ClosePort(); });
    EXPECT_FALSE(comm.IsOpen());
}

// The device end vanishes. The receive thread reports it once and ends
// without spinning; the transmit thread goes on until it meets the fault
// itself, reports it once, and then refuses further blocks.
TEST_F(CommTest, TheOtherEndVanishingGivesOneHangupPerThreadAndNoBusyLoop) {
    comm.OpenPort();
    pty.Write({0x10, 0x20});
    ASSERT_TRUE(ReceiveBytes(2));
    pty.CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return events.hangups == 1; }));

    const auto cpu_before = ProcessCpuTime();
    loop.RunFor(milliseconds(500));
    EXPECT_LT(ProcessCpuTime() - cpu_before, milliseconds(200));
    EXPECT_EQ(events.hangups, 1);
    EXPECT_EQ(events.AllBytes(), (std::vector<std::uint8_t>{0x10, 0x20}));

    const std::uint8_t byte = 0x33;
    EXPECT_TRUE(comm.SendData(&byte, 1));
    ASSERT_TRUE(RunUntil([&] { return events.hangups == 2; }));
    bool refused = false;
    for (int tries = 0; tries < 1000 && !refused; ++tries) {
        refused = !comm.SendData(&byte, 1);
        loop.RunFor(milliseconds(10));
    }
    EXPECT_TRUE(refused);
    loop.RunFor(milliseconds(200));
    EXPECT_EQ(events.hangups, 2);

    ReturnsWithin(kPatience, [&] { comm.ClosePort(); });
}

TEST_F(CommTest, AHandlerMayClosePortOnHangup) {
    comm.OnRequestHangup = [&](TComm& sender) {
        ++events.hangups;
        sender.ClosePort();
    };
    comm.OpenPort();
    pty.CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return !comm.IsOpen(); }));
    EXPECT_EQ(events.hangups, 1);
}

}  // namespace
}  // namespace comflash::test
