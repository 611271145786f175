#include <windows.h>

#include "cli/signal_stop.h"

namespace comflash::cli {
namespace {

// The console control handler runs on a thread of its own; it only asks.
SignalStop* active = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    if (active == nullptr)
        return FALSE;
    active->Stop();
    return TRUE;
}

}  // namespace

struct SignalStop::Watcher {};

SignalStop::SignalStop(EventLoop& loop) : loop_(loop) {
    active = this;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

SignalStop::~SignalStop() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    active = nullptr;
}

}  // namespace comflash::cli
