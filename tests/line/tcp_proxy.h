// A TCP relay between a station and the line's server that can misbehave the
// way a network does, at one chosen request: stop passing the server's
// replies on (a link that stopped answering), or close the station's side
// right after the request went through (the station never learns whether the
// server committed it).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace comflash::testing {

class TcpProxy {
public:
    // Listens on a free port of 127.0.0.1 and relays to 127.0.0.1:`target`.
    explicit TcpProxy(int target);
    ~TcpProxy();
    TcpProxy(const TcpProxy&) = delete;
    TcpProxy& operator=(const TcpProxy&) = delete;

    int Port() const { return port_; }

    // The next request holding `marker` (a piece of its SQL) reaches the
    // server; the replies on its connection are dropped from then on.
    void HoldRepliesFrom(const std::string& marker);
    // The next request holding `marker` reaches the server; then the
    // station's side of its connection is closed, and the server's reply,
    // once it comes, is dropped.
    void CutAtRequest(const std::string& marker);
    // True until a request has triggered the fault asked for.
    bool FaultPending();

private:
    enum class Fault { None, Hold, Cut };
    void Accept();
    void Relay(int client, int server);
    // The fault the request in `data` triggers, used up when it does.
    Fault Triggered(const char* data, long length);

    const int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    Fault fault_ = Fault::None;
    std::string marker_;
    std::vector<std::thread> relays_;
    std::thread acceptor_;
};

}  // namespace comflash::testing
