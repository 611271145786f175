// The serial threads' road into the GUI thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "gui/common/qt_dispatcher.h"
#include "tests/support/patience.h"

namespace comflash {
namespace {

const int kPatienceMs = testing::PatienceMs(20000);

TEST(QtDispatcher, RunsTasksFromOtherThreadsOnTheGuiThreadInTheirOrder) {
    QtDispatcher dispatcher;
    constexpr int kPerThread = 2000;
    std::vector<int> fromFirst;
    std::vector<int> fromSecond;
    int offThread = 0;  // written on the GUI thread only
    QThread* const gui = QThread::currentThread();

    const auto poster = [&](std::vector<int>& into) {
        return std::thread([&, target = &into] {
            for (int i = 0; i < kPerThread; ++i) {
                dispatcher.Post([&, target, i] {
                    if (QThread::currentThread() != gui)
                        ++offThread;
                    target->push_back(i);
                });
            }
        });
    };
    std::thread first = poster(fromFirst);
    std::thread second = poster(fromSecond);
    first.join();
    second.join();

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fromFirst.size() == kPerThread && fromSecond.size() == kPerThread; },
        kPatienceMs));
    EXPECT_EQ(offThread, 0);
    for (int i = 0; i < kPerThread; ++i) {
        ASSERT_EQ(fromFirst[i], i);
        ASSERT_EQ(fromSecond[i], i);
    }
}

TEST(QtDispatcher, TasksBehindOneThatOpensAModalLoopRunInsideIt) {
    QtDispatcher dispatcher;
    std::vector<char> order;
    bool laterRanInside = false;
    std::thread poster([&] {
        dispatcher.Post([&] {
            order.push_back('A');
            // As a modal box does: a nested loop until the tasks behind ran.
            laterRanInside = QTest::qWaitFor([&] { return order.size() == 3; }, kPatienceMs);
            order.push_back('a');
        });
        dispatcher.Post([&] { order.push_back('B'); });
        dispatcher.Post([&] { order.push_back('C'); });
    });
    poster.join();

    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 4; }, kPatienceMs));
    EXPECT_TRUE(laterRanInside);
    EXPECT_EQ(order, (std::vector<char>{'A', 'B', 'C', 'a'}));
}

TEST(QtDispatcher, DropsTasksStillQueuedWhenItIsDestroyed) {
    auto held = std::make_shared<int>(0);
    bool ran = false;
    {
        QtDispatcher dispatcher;
        dispatcher.Post([&ran, held] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(held.use_count(), 1) << "the dropped task must be freed";
}

}  // namespace
}  // namespace comflash
