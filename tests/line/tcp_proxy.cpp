#include "tcp_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace comflash::testing {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SendAll(int fd, const char* data, ssize_t length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        length -= n;
    }
    return true;
}

}  // namespace

TcpProxy::TcpProxy(int target) : target_(target) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("the test's relay cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

TcpProxy::~TcpProxy() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    // Not under the lock: a relay still passing a request on (a station's
    // goodbye as it closes) takes it to look for its fault.
    std::vector<std::thread> relays;
    {
        std::lock_guard lock(mutex_);
        relays.swap(relays_);
    }
    for (auto& relay : relays)
        relay.join();
}

void TcpProxy::Accept() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(target_);
        if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            continue;
        }
        std::lock_guard lock(mutex_);
        relays_.emplace_back([this, client, server] { Relay(client, server); });
    }
}

void TcpProxy::HoldRepliesFrom(const std::string& marker) {
    std::lock_guard lock(mutex_);
    fault_ = Fault::Hold;
    marker_ = marker;
}

void TcpProxy::CutAtRequest(const std::string& marker) {
    std::lock_guard lock(mutex_);
    fault_ = Fault::Cut;
    marker_ = marker;
}

bool TcpProxy::FaultPending() {
    std::lock_guard lock(mutex_);
    return fault_ != Fault::None;
}

TcpProxy::Fault TcpProxy::Triggered(const char* data, long length) {
    std::lock_guard lock(mutex_);
    if (fault_ == Fault::None ||
        std::string(data, static_cast<std::size_t>(length)).find(marker_) == std::string::npos) {
        return Fault::None;
    }
    return std::exchange(fault_, Fault::None);
}

void TcpProxy::Relay(int client, int server) {
    bool clientOpen = true;
    bool holding = false;
    char buffer[16384];
    while (!stopping_) {
        pollfd ends[2] = {{clientOpen ? client : -1, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(ends, 2, 100) <= 0)
            continue;
        if (clientOpen && ends[0].revents != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0 || !SendAll(server, buffer, n))
                break;
            const Fault fault = Triggered(buffer, n);
            holding = holding || fault == Fault::Hold;
            if (fault == Fault::Cut) {
                ::close(client);
                clientOpen = false;  // the server's reply is read and dropped below
            }
        }
        if (ends[1].revents != 0) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0 || !clientOpen)
                break;
            if (!holding && !SendAll(client, buffer, n))
                break;
        }
    }
    if (clientOpen)
        ::close(client);
    ::close(server);
}

}  // namespace comflash::testing
