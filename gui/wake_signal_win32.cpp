// The wake-up as a manual-reset event that a QWinEventNotifier watches.
#include <windows.h>

#include <QWinEventNotifier>
#include <system_error>

#include "gui/wake_signal.h"

namespace comflash {

struct WakeSignal::Watch {
    HANDLE event = nullptr;
    std::unique_ptr<QWinEventNotifier> notifier;
};

WakeSignal::WakeSignal(std::function<void()> onWake) : watch_(std::make_unique<Watch>()) {
    // Manual reset: the event stays set until Drain, as a byte stays in a pipe.
    watch_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch_->event == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot make the wake-up event");
    }
    watch_->notifier = std::make_unique<QWinEventNotifier>(watch_->event);
    QObject::connect(watch_->notifier.get(), &QWinEventNotifier::activated, watch_->notifier.get(),
                     std::move(onWake));
}

WakeSignal::~WakeSignal() {
    watch_->notifier.reset();
    CloseHandle(watch_->event);
}

void WakeSignal::Fire() const {
    SetEvent(watch_->event);
}

void WakeSignal::Drain() const {
    ResetEvent(watch_->event);
}

}  // namespace comflash
