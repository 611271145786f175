// serial-bench: the serial engine measured on a pseudo-terminal pair.
//   1. delay from the last byte of a burst to its OnReceiveData, read-interval
//      time-out 30 ms (median and 99th percentile);
//   2. processor time of an open, idle port;
//   3. throughput of 1 MB each way.
//
// The receive thread runs at a real-time priority where the process may use
// one (see serial/posix/thread_priority_posix.h). The bench puts its own
// thread, which plays both the device and the owner, at the same priority, so
// that the figures show the engine and not how late a busy machine wakes an
// ordinary thread; --normal-owner leaves it at normal priority.
//
// Usage: serial-bench [--normal-owner] [bursts [idle seconds]]
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm.h"
#include "serial/event_loop.h"

namespace {

using comflash::EventLoop;
using comflash::TComm;
using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr auto kPatience = std::chrono::seconds(30);

class PtyPair {
public:
    PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        char name[128];
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("cannot open a pseudo-terminal");
        }
        slavePath_ = name;
    }
    ~PtyPair() { ::close(master_); }
    const std::string& SlavePath() const { return slavePath_; }

    void Write(const std::uint8_t* data, std::size_t length) const {
        while (length > 0) {
            const ssize_t written = ::write(master_, data, length);
            if (written < 0)
                throw std::runtime_error("write to the pseudo-terminal failed");
            data += written;
            length -= static_cast<std::size_t>(written);
        }
    }
    std::vector<std::uint8_t> Read(std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        while (got < count) {
            pollfd readable{master_, POLLIN, 0};
            if (::poll(&readable, 1, 30000) <= 0)
                break;
            const ssize_t n = ::read(master_, bytes.data() + got, count - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

private:
    int master_;
    std::string slavePath_;
};

void UseToolSettings(TComm& comm, const PtyPair& pty) {
    comm.SetCommName(pty.SlavePath());
    comm.SetDtrControl(comflash::TDtrControl::DtrDisable);
    comm.SetTxContinueOnXoff(false);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetRtsControl(comflash::TRtsControl::RtsDisable);
    comm.SetReadIntervalTimeout(30);
}

std::vector<std::uint8_t> Pattern(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return bytes;
}

double CpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

bool Report(const char* what, double value, const char* unit, const char* target, bool met) {
    std::printf("%-34s %10.3f %-6s target %-14s %s\n", what, value, unit, target,
                met ? "met" : "MISSED");
    return met;
}

bool MeasureBurstDelay(int bursts) {
    EventLoop loop;
    PtyPair pty;
    TComm comm(loop);
    UseToolSettings(comm, pty);
    Clock::time_point received{};
    std::size_t chunks = 0;
    comm.OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) {
        received = Clock::now();
        ++chunks;
    };
    comm.OpenPort();
    const std::vector<std::uint8_t> burst = Pattern(16);
    std::vector<double> delays_ms;
    for (int i = 0; i < bursts; ++i) {
        const std::size_t before = chunks;
        pty.Write(burst.data(), burst.size());
        const Clock::time_point last_byte = Clock::now();
        if (!loop.RunUntil([&] { return chunks > before; }, kPatience)) {
            std::printf("burst %d never arrived\n", i);
            return false;
        }
        delays_ms.push_back(duration<double, std::milli>(received - last_byte).count());
        loop.RunFor(milliseconds(10));
    }
    std::printf("burst delay, read-interval time-out 30 ms, %d bursts of 16 bytes:\n", bursts);
    const double median = Percentile(delays_ms, 0.5);
    const double p99 = Percentile(delays_ms, 0.99);
    bool met = Report("  median", median, "ms", "30 to 31.5", median >= 30.0 && median <= 31.5);
    met &= Report("  99th percentile", p99, "ms", "below 33", p99 < 33.0);
    std::printf("  %-32s %10.3f ms\n", "minimum", Percentile(delays_ms, 0.0));
    std::printf("  %-32s %10.3f ms\n", "maximum", Percentile(delays_ms, 1.0));
    return met;
}

bool MeasureIdleCpu(int seconds) {
    EventLoop loop;
    PtyPair pty;
    TComm comm(loop);
    UseToolSettings(comm, pty);
    comm.OpenPort();
    loop.RunFor(milliseconds(200));  // let the threads settle into their waits
    const double cpu_before = CpuSeconds();
    const Clock::time_point start = Clock::now();
    loop.RunFor(std::chrono::seconds(seconds));
    const double wall = duration<double>(Clock::now() - start).count();
    const double percent = (CpuSeconds() - cpu_before) / wall * 100.0;
    std::printf("idle open port, %d s:\n", seconds);
    return Report("  processor time of one core", percent, "%", "below 0.1", percent < 0.1);
}

constexpr std::size_t kBulkBytes = 1 << 20;

// Bulk reads: a full 2048-byte buffer completes a read at once; a short gap
// ends the last one.
bool MeasureReceiveThroughput() {
    EventLoop loop;
    PtyPair pty;
    TComm comm(loop);
    UseToolSettings(comm, pty);
    comm.SetReadIntervalTimeout(5);
    std::vector<std::uint8_t> received;
    received.reserve(kBulkBytes);
    comm.OnReceiveData = [&](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        received.insert(received.end(), buffer, buffer + length);
    };
    comm.OpenPort();
    const std::vector<std::uint8_t> sent = Pattern(kBulkBytes);
    const Clock::time_point start = Clock::now();
    std::thread device([&] { pty.Write(sent.data(), sent.size()); });
    const bool all = loop.RunUntil([&] { return received.size() >= sent.size(); }, kPatience);
    const double seconds = duration<double>(Clock::now() - start).count();
    device.join();
    const double rate = static_cast<double>(kBulkBytes) / seconds / 1e6;
    return Report("  receive 1 MB", rate, "MB/s", "above 20", all && received == sent && rate > 20);
}

bool MeasureSendThroughput() {
    EventLoop loop;
    PtyPair pty;
    TComm comm(loop);
    UseToolSettings(comm, pty);
    comm.OpenPort();
    const std::vector<std::uint8_t> sent = Pattern(kBulkBytes);
    const Clock::time_point start = Clock::now();
    std::vector<std::uint8_t> arrived;
    std::thread device([&] { arrived = pty.Read(sent.size()); });
    for (std::size_t offset = 0; offset < sent.size(); offset += 65535) {
        const std::size_t length = std::min<std::size_t>(65535, sent.size() - offset);
        comm.SendData(sent.data() + offset, static_cast<std::uint16_t>(length));
    }
    device.join();
    const double seconds = duration<double>(Clock::now() - start).count();
    const double rate = static_cast<double>(kBulkBytes) / seconds / 1e6;
    return Report("  send 1 MB", rate, "MB/s", "above 20", arrived == sent && rate > 20);
}

// The calling thread at the receive thread's priority, where permitted.
const char* RaiseOwnerThread() {
    sched_param parameters{};
    parameters.sched_priority = ::sched_get_priority_min(SCHED_RR);
    if (::sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &parameters) == 0) {
        return "real-time round-robin, as the receive thread";
    }
    return "normal (real-time priority not permitted)";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool normal_owner = !args.empty() && args.front() == "--normal-owner";
    if (normal_owner)
        args.erase(args.begin());
    const int bursts = args.size() > 0 ? std::max(1, std::atoi(args[0].c_str())) : 200;
    const int idle_seconds = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 10;
    std::printf("owner thread priority: %s\n", normal_owner ? "normal" : RaiseOwnerThread());
    try {
        bool met = MeasureBurstDelay(bursts);
        met &= MeasureIdleCpu(idle_seconds);
        std::printf("throughput on a pseudo-terminal:\n");
        met &= MeasureReceiveThroughput();
        met &= MeasureSendThroughput();
        std::printf("%s\n", met ? "all targets met" : "some targets missed");
        return met ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "serial-bench: %s\n", error.what());
        return 2;
    }
}
