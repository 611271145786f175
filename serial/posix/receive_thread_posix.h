// TReadThread: keeps a read pending on the port and posts every finished chunk
// of 1 to 2048 bytes, and every line error, to the owning thread. A chunk ends
// by the read time-outs or, with a completion rule in force, at the last byte
// of a whole unit.
#pragma once

#include <cstddef>
#include <thread>

#include "serial/comm_notifier.h"
#include "serial/read_completion.h"
#include "serial/receive_chunk.h"
#include "serial/shared_timeouts.h"

namespace comflash {

class LineErrorCounters;

class TReadThread {
public:
    // `port` and `close_event` stay open until the thread has been joined.
    TReadThread(int port, int close_event, const SharedTimeouts& timeouts,
                const SharedReadCompletion& completion, CommNotifier notifier);
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    ~TReadThread() { Join(); }

    void Start();  // throws std::system_error
    void Join();

private:
    void Run();
    // Gathers one chunk and delivers it; false when the thread is to end
    // (stop request or fault).
    bool IssueRead(LineErrorCounters& line_errors);
    // After a read failed or found the line gone; bytes already held go out first.
    bool EndOnReadFailure(int error);
    void Deliver(std::size_t length);

    const int port_;
    const int closeEvent_;
    const SharedTimeouts& timeouts_;
    const CommNotifier notifier_;
    ReceiveChunk chunk_;
    std::thread thread_;
};

}  // namespace comflash
