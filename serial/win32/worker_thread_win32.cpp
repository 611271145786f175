// Windows hands Ctrl-C and console closing to a thread of the system's own,
// never to ours: a worker needs nothing set up.
#include "serial/worker_thread.h"

namespace comflash {

std::thread StartWorkerThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

}  // namespace comflash
