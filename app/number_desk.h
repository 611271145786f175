// Runs the serial-number source's calls on a thread of its own, so that a
// settings lock held by another process or a round trip to the line database
// never stalls the thread that serves the ports or draws a window. Calls run
// one at a time in the order they were handed in; what each wants done with
// its result (its answer) runs afterwards on the owner's thread: woken
// through the owner's dispatcher, or at once by RunAnswers at the end of a
// run.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/dispatcher.h"

namespace comflash {

class NumberDesk {
public:
    // The work: runs on the desk's thread and returns the answer, to run on
    // the owner's thread afterwards (may be empty). It must not throw.
    using Call = std::function<std::function<void()>()>;

    explicit NumberDesk(Dispatcher& owner);
    // Runs every call handed in so far, then ends the thread; answers not
    // run by then are dropped.
    ~NumberDesk();
    NumberDesk(const NumberDesk&) = delete;
    NumberDesk& operator=(const NumberDesk&) = delete;

    // Owner's thread.
    void Run(Call call);
    // Owner's thread: waits until every call handed in so far has run, then
    // runs their answers; for the end of a run, when the loop that would run
    // them has stopped.
    void Finish();

private:
    // What the desk's thread shares with the owner's thread; the wake posted
    // to the dispatcher holds it weakly, so a desk gone meanwhile is no harm.
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Call> calls;
        std::deque<std::function<void()>> answers;
        bool busy = false;
        bool wakePosted = false;
        bool stopping = false;
        void RunAnswers();
    };

    void Work();

    Dispatcher& owner_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

}  // namespace comflash
