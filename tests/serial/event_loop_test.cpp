#include "serial/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/patience.h"

namespace comflash {
namespace {

using std::chrono::milliseconds;
using Clock = EventLoop::Clock;

const milliseconds kPatience = testing::Patience(std::chrono::seconds(20));

TEST(EventLoopTest, PostsFromOtherThreadsRunOnTheLoopThreadInTheirOrder) {
    EventLoop loop;
    constexpr int kThreads = 4;
    constexpr int kPosts = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    int ran_elsewhere = 0;
    const auto loop_thread = std::this_thread::get_id();
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                loop.Post([&, t, i] {
                    seen[t].push_back(i);
                    if (std::this_thread::get_id() != loop_thread)
                        ++ran_elsewhere;
                });
            }
        });
    }
    const bool all_ran = loop.RunUntil(
        [&] {
            for (const auto& s : seen) {
                if (s.size() < kPosts)
                    return false;
            }
            return true;
        },
        kPatience);
    for (auto& poster : posters)
        poster.join();
    ASSERT_TRUE(all_ran);
    EXPECT_EQ(ran_elsewhere, 0);
    for (const auto& s : seen) {
        for (int i = 0; i < kPosts; ++i)
            ASSERT_EQ(s[i], i);
    }
}

// A tick never comes before its due time, and late ticks do not push the
// later ones back.
TEST(EventLoopTest, TimersTickAtTheirIntervalNeverEarly) {
    EventLoop loop;
    const auto start = Clock::now();
    std::vector<Clock::time_point> ticks;
    loop.AddTimer(milliseconds(40), [&] { ticks.push_back(Clock::now()); });
    loop.RunFor(milliseconds(700));
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_LE(ticks.size(), 17u);
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        EXPECT_GE(ticks[k] - start, milliseconds(40) * (k + 1)) << "tick " << k;
    }
}

TEST(EventLoopTest, ATimerCanRemoveItselfAndOthersKeepTicking) {
    EventLoop loop;
    int once = 0;
    int steady = 0;
    EventLoop::TimerId self = 0;
    self = loop.AddTimer(milliseconds(5), [&] {
        ++once;
        loop.RemoveTimer(self);
    });
    loop.AddTimer(milliseconds(5), [&] { ++steady; });
    ASSERT_TRUE(loop.RunUntil([&] { return steady >= 5; }, kPatience));
    EXPECT_EQ(once, 1);
}

TEST(EventLoopTest, QuitFromAnotherThreadEndsRun) {
    EventLoop loop;
    std::atomic<bool> running{false};
    loop.Post([&] { running = true; });
    std::thread quitter([&] {
        while (!running)
            std::this_thread::yield();
        loop.Quit();
    });
    loop.Run();
    quitter.join();
    EXPECT_TRUE(running);
}

TEST(EventLoopTest, RunUntilTellsSuccessFromTimeout) {
    EventLoop loop;
    bool flag = false;
    EXPECT_FALSE(loop.RunUntil([&] { return flag; }, milliseconds(30)));
    loop.Post([&] { flag = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return flag; }, kPatience));
}

// A loop with nothing to do sleeps instead of polling.
TEST(EventLoopTest, AnIdleLoopUsesNoProcessorTime) {
    EventLoop loop;
    loop.AddTimer(milliseconds(100), [] {});
    const std::clock_t before = std::clock();
    loop.RunFor(milliseconds(500));
    EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.2);
}

}  // namespace
}  // namespace comflash
