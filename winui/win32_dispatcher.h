// The serial threads' and the number desk's events on the window's thread:
// they queue callables here, and a hidden message-only window of the thread
// that made the dispatcher runs them, in the order they were posted, also
// inside the message loop of a modal box. The Windows twin of the Qt
// windows' dispatcher.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "serial/dispatcher.h"

namespace comflash::winui {

class Win32Dispatcher final : public Dispatcher {
public:
    // Tasks run on the thread that creates the dispatcher; raises
    // std::system_error when its window cannot be made.
    Win32Dispatcher();
    // A task still queued is dropped unrun.
    ~Win32Dispatcher() override;
    Win32Dispatcher(const Win32Dispatcher&) = delete;
    Win32Dispatcher& operator=(const Win32Dispatcher&) = delete;

    // Any thread.
    void Post(std::function<void()> task) override;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    void RunQueued();

    HWND window_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool wakePending_ = false;  // posted, not yet drained
};

}  // namespace comflash::winui
