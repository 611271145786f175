// The wake-up as a manual-reset event that a QWinEventNotifier watches.
#include <windows.h>

#include <QWinEventNotifier>
#include <system_error>

#include "gui/common/wake_signal.h"

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
    // The notifier watches again only once its signal has returned. The
    // queued tasks may open a modal box whose loop must still be woken, so
    // they run from a posted call, after the notifier has been re-armed.
    QObject* notifier = watch_->notifier.get();
    QObject::connect(watch_->notifier.get(), &QWinEventNotifier::activated, notifier,
                     [notifier, onWake = std::move(onWake)] {
                         QMetaObject::invokeMethod(notifier, onWake, Qt::QueuedConnection);
                     });
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
