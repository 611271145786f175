#include "app/number_desk.h"

#include <utility>

#include "serial/worker_thread.h"

namespace comflash {

NumberDesk::NumberDesk(Dispatcher& owner) : owner_(owner) {
    thread_ = StartWorkerThread([this] { Work(); });
}

NumberDesk::~NumberDesk() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->changed.notify_all();
    thread_.join();
}

void NumberDesk::Run(Call call) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->calls.push_back(std::move(call));
    }
    shared_->changed.notify_all();
}

void NumberDesk::Finish() {
    {
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait(lock, [this] { return shared_->calls.empty() && !shared_->busy; });
    }
    shared_->RunAnswers();
}

void NumberDesk::Shared::RunAnswers() {
    std::unique_lock lock(mutex);
    wakePosted = false;
    while (!answers.empty()) {
        std::function<void()> answer = std::move(answers.front());
        answers.pop_front();
        lock.unlock();
        answer();
        lock.lock();
    }
}

void NumberDesk::Work() {
    std::unique_lock lock(shared_->mutex);
    for (;;) {
        shared_->changed.wait(lock, [this] { return shared_->stopping || !shared_->calls.empty(); });
        if (shared_->calls.empty())
            return;  // stopping, and nothing is left to do
        Call call = std::move(shared_->calls.front());
        shared_->calls.pop_front();
        shared_->busy = true;
        lock.unlock();
        std::function<void()> answer = call();
        lock.lock();
        shared_->busy = false;
        if (answer) {
            shared_->answers.push_back(std::move(answer));
            if (!shared_->wakePosted) {
                shared_->wakePosted = true;
                owner_.Post([weak = std::weak_ptr<Shared>(shared_)] {
                    if (const auto shared = weak.lock())
                        shared->RunAnswers();
                });
            }
        }
        shared_->changed.notify_all();
    }
}

}  // namespace comflash
