#include "winui/win32_dispatcher.h"

#include <system_error>
#include <utility>

namespace comflash::winui {
namespace {

constexpr UINT kRunQueued = WM_APP + 1;
constexpr const char* kClassName = "comflash-dispatcher";

void RegisterClassOnce(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass) != 0;
    }();
    if (!registered)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot register the dispatcher's window class");
}

}  // namespace

Win32Dispatcher::Win32Dispatcher() {
    RegisterClassOnce(&WindowProcedure);
    // A message-only window: never shown, never enumerated, it only receives.
    window_ = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create the dispatcher's window");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Dispatcher::~Win32Dispatcher() {
    {
        std::lock_guard lock(mutex_);
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        tasks_.clear();
    }
    DestroyWindow(window_);
}

void Win32Dispatcher::Post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (!wakePending_) {
        // One message wakes the loop for the whole queue; it is drained in order.
        wakePending_ = PostMessageA(window_, kRunQueued, 0, 0) != 0;
    }
}

void Win32Dispatcher::RunQueued() {
    std::unique_lock lock(mutex_);
    wakePending_ = false;
    while (!tasks_.empty()) {
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

LRESULT CALLBACK Win32Dispatcher::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    if (message == kRunQueued) {
        if (auto* dispatcher =
                reinterpret_cast<Win32Dispatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
            dispatcher->RunQueued();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace comflash::winui
