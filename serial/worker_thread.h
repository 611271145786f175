// Every thread the tool starts for its own work is started here. The stop
// signals (Ctrl-C, a termination request, a closed terminal) are blocked in
// it from its first instruction, so that they reach the thread that ends a
// run in order and never one that would take the process down with it.
#pragma once

#include <functional>
#include <thread>

namespace comflash {

// Raises std::system_error as std::thread does when no thread can be made.
std::thread StartWorkerThread(std::function<void()> body);

}  // namespace comflash
