// Received bytes: grouped into one chunk per burst by the read-interval
// time-out, at most 2048 bytes a chunk, never lost, merged out of order or
// delivered to a component that is gone.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tests/serial/comm_fixture.h"

namespace comflash::test {
namespace {

using std::chrono::milliseconds;

// How the device spaces its writes: a few milliseconds apart, far inside
// the interval even when a loaded machine stalls the writer, or each once the
// write before it has left the component as a chunk of its own, so that the
// line was silent for longer than the interval however slow the machine.
enum class Spacing { FewMilliseconds, AfterTheChunkBefore };

// Writes each group with one write.
struct BurstCase {
    const char* name;
    std::uint32_t read_interval_ms;
    std::vector<std::size_t> groups;  // bytes per write
    Spacing spacing;
    std::size_t expected_chunks;
};

class BurstTest : public CommTest, public ::testing::WithParamInterface<BurstCase> {};

TEST_P(BurstTest, OneChunkPerBurst) {
    const BurstCase& burst = GetParam();
    comm.SetReadIntervalTimeout(burst.read_interval_ms);
    comm.OpenPort();
    std::vector<std::uint8_t> sent;
    for (std::size_t i = 0; i < burst.groups.size(); ++i) {
        if (i > 0 && burst.spacing == Spacing::FewMilliseconds)
            std::this_thread::sleep_for(milliseconds(5));
        if (i > 0 && burst.spacing == Spacing::AfterTheChunkBefore)
            ASSERT_TRUE(ReceiveBytes(sent.size()));
        const std::vector<std::uint8_t> group = Pattern(burst.groups[i], static_cast<int>(i) + 1);
        pty.Write(group);
        sent.insert(sent.end(), group.begin(), group.end());
    }
    ASSERT_TRUE(ReceiveBytes(sent.size()));
    loop.RunFor(milliseconds(burst.read_interval_ms) * 2);
    EXPECT_EQ(events.AllBytes(), sent);
    EXPECT_EQ(events.chunks.size(), burst.expected_chunks);
}

INSTANTIATE_TEST_SUITE_P(
    Grouping, BurstTest,
    ::testing::Values(
        BurstCase{"BytesFiveMsApartJoin", 500, std::vector<std::size_t>(12, 1),
                  Spacing::FewMilliseconds, 1},
        BurstCase{"PauseBeyondTheIntervalSplits", 30, {7, 9}, Spacing::AfterTheChunkBefore, 2},
        BurstCase{"ThreeBurstsThreeChunks", 30, {100, 1, 2047}, Spacing::AfterTheChunkBefore, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommTest, ALongBurstArrivesInChunksOfAtMost2048InOrder) {
    comm.OpenPort();
    const std::vector<std::uint8_t> sent = Pattern(5000);
    pty.Write(sent);
    ASSERT_TRUE(ReceiveBytes(sent.size()));
    EXPECT_EQ(events.AllBytes(), sent);
    EXPECT_GE(events.chunks.size(), 3u);
    for (const auto& chunk : events.chunks) {
        EXPECT_GE(chunk.size(), 1u);
        EXPECT_LE(chunk.size(), 2048u);
    }
}

// The owner is stuck in its first handler while a long stream comes in: the
// chunks wait, and then arrive complete and in line order.
TEST_F(CommTest, ChunksKeepLineOrderWhileTheOwnerIsBusy) {
    comm.SetReadIntervalTimeout(1);
    const std::vector<std::uint8_t> sent = Pattern(200000, 7);
    std::thread device;
    comm.OnReceiveData = [&](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        if (events.chunks.empty()) {
            device.join();  // the whole stream has been written meanwhile
        }
        events.chunks.emplace_back(buffer, buffer + length);
    };
    comm.OpenPort();
    device = std::thread([&] {
        std::size_t offset = 0;
        for (std::size_t size = 1; offset < sent.size(); size = size * 7 % 3001 + 1) {
            const std::size_t end = std::min(sent.size(), offset + size);
            pty.Write({sent.begin() + offset, sent.begin() + end});
            offset = end;
            if (size % 5 == 0)
                std::this_thread::sleep_for(milliseconds(2));
        }
    });
    ASSERT_TRUE(ReceiveBytes(sent.size()));
    EXPECT_EQ(events.AllBytes(), sent);
    for (const auto& chunk : events.chunks)
        EXPECT_LE(chunk.size(), 2048u);
}

// With the interval at MAXDWORD and no totals a read returns at once with what
// is there; it must neither deliver empty chunks nor spin on a silent line.
TEST_F(CommTest, ReturnAtOnceTimeoutsDeliverWithoutSpinningOnASilentLine) {
    comm.SetReadIntervalTimeout(kMaxDword);
    comm.OpenPort();
    const auto cpu_before = ProcessCpuTime();
    loop.RunFor(milliseconds(500));
    EXPECT_LT(ProcessCpuTime() - cpu_before, milliseconds(200));
    const std::vector<std::uint8_t> sent = Pattern(3000);
    pty.Write(sent);
    ASSERT_TRUE(ReceiveBytes(sent.size()));
    EXPECT_EQ(events.AllBytes(), sent);
    for (const auto& chunk : events.chunks)
        EXPECT_FALSE(chunk.empty());
}

// Holds posted tasks until the test runs them, so that a notice can be caught
// between its post and its delivery.
class HeldTasks final : public Dispatcher {
public:
    void Post(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_all();
    }
    bool WaitForPosts(std::size_t count) {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, kPatience, [&] { return tasks_.size() >= count; });
    }
    void RunAll() {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
        }
        for (auto& task : tasks)
            task();
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

enum class Ending { Closed, Destroyed };

class LateNoticeTest : public ::testing::TestWithParam<Ending> {};

TEST_P(LateNoticeTest, NoticesPostedBeforeTheEndAreDropped) {
    HeldTasks owner;
    PtyPair pty;
    RecordedEvents events;
    auto comm = std::make_unique<TComm>(owner);
    comm->SetCommName(pty.SlavePath());
    UseUpdateToolSettings(*comm);
    RecordEvents(*comm, events);
    comm->OpenPort();
    pty.Write(Pattern(10));
    // The drain notice of the start, and the chunk.
    ASSERT_TRUE(owner.WaitForPosts(2));

    if (GetParam() == Ending::Closed) {
        comm->ClosePort();
    } else {
        comm.reset();
    }
    owner.RunAll();
    EXPECT_TRUE(events.chunks.empty());
    EXPECT_EQ(events.drains, 0);
}

INSTANTIATE_TEST_SUITE_P(Endings, LateNoticeTest,
                         ::testing::Values(Ending::Closed, Ending::Destroyed),
                         [](const auto& info) {
                             return info.param == Ending::Closed ? "Closed" : "Destroyed";
                         });

TEST(CommReopen, NoticesOfAnEarlierOpeningAreNotDeliveredAfterReopening) {
    HeldTasks owner;
    PtyPair pty;
    RecordedEvents events;
    TComm comm(owner);
    comm.SetCommName(pty.SlavePath());
    UseUpdateToolSettings(comm);
    RecordEvents(comm, events);
    comm.OpenPort();
    pty.Write(Pattern(10));
    // The drain notice of the start, and the chunk: posted, not yet run.
    ASSERT_TRUE(owner.WaitForPosts(2));

    comm.ClosePort();
    comm.OpenPort();
    pty.Write({0x99});
    ASSERT_TRUE(owner.WaitForPosts(4));
    owner.RunAll();
    ASSERT_EQ(events.chunks.size(), 1u);
    EXPECT_EQ(events.chunks[0], std::vector<std::uint8_t>{0x99});
}

}  // namespace
}  // namespace comflash::test
