#include "platform/TcpConnection.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quarnex {

struct TcpConnection::Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    addrinfo* found = nullptr;
    ~Lookup() {
        if (found)
            ::freeaddrinfo(found);
    }
};

bool TcpConnection::Resolve(const std::string& host, int port, int timeoutMs, int lookupWaitMs,
                            std::string& reason) {
    if (resolved_ && host == host_ && port == port_)
        return true;
    if (host != host_ || port != port_) {
        resolved_.reset();
        lookup_.reset(); // a lookup of another name finishes on its own and is dropped
        host_ = host;
        port_ = port;
    }
    const int64_t now = MonotonicNs();
    if (!lookup_) {
        lookup_ = std::make_shared<Lookup>();
        lookupStartNs_ = now;
        std::thread([lookup = lookup_, host, service = std::to_string(port), resolver = resolver_] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int error = resolver
                                  ? resolver(host, service, hints, &found)
                                  : ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
            std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->error = error;
            lookup->found = found;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    }
    const int64_t endNs = lookupStartNs_ + int64_t{timeoutMs} * 1'000'000;
    int64_t waitUntilNs = endNs;
    if (lookupWaitMs >= 0)
        waitUntilNs = std::min(endNs, now + int64_t{lookupWaitMs} * 1'000'000);
    std::unique_lock<std::mutex> lock(lookup_->mutex);
    lookup_->done.wait_for(lock, std::chrono::nanoseconds(std::max<int64_t>(0, waitUntilNs - now)),
                           [&] { return lookup_->finished; });
    if (!lookup_->finished) {
        lock.unlock();
        if (MonotonicNs() < endNs) {
            reason = "resolving " + host;
            return false;
        }
        lookup_.reset();
        reason =
            "cannot resolve " + host + ": no answer within " + std::to_string(timeoutMs) + " ms";
        return false;
    }
    const int error = lookup_->error;
    lock.unlock();
    if (error != 0) {
        lookup_.reset();
        reason = "cannot resolve " + host + ": " + ::gai_strerror(error);
        return false;
    }
    resolved_ = std::move(lookup_);
    return true;
}

bool TcpConnection::Connect(const std::string& host, int port, int timeoutMs, std::string& reason,
                            int lookupWaitMs) {
    Close();
    if (!Resolve(host, port, timeoutMs, lookupWaitMs, reason))
        return false;
    const int64_t deadline = MonotonicNs() + int64_t{timeoutMs} * 1'000'000;
    reason = "no address found";
    for (addrinfo* a = resolved_->found; a && fd_ < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            short revents = 0;
            if (!WaitReady(fd, POLLOUT, deadline, revents)) {
                reason = "no connection within " + std::to_string(timeoutMs) + " ms";
                ::close(fd);
                continue;
            }
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            r = error == 0 ? 0 : -1;
            errno = error;
        }
        if (r != 0) {
            reason = std::strerror(errno);
            ::close(fd);
            continue;
        }
        // Requests are small and each waits for its answer: send them at once.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        fd_ = fd;
    }
    // The name may have moved: the next connect asks the resolver again.
    if (fd_ < 0)
        resolved_.reset();
    return fd_ >= 0;
}

void TcpConnection::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TcpConnection::SendAll(const uint8_t* data, int n, int64_t deadlineNs) {
    int done = 0;
    while (fd_ >= 0 && done < n) {
        const ssize_t r = ::send(fd_, data + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
        if (r > 0) {
            done += static_cast<int>(r);
            continue;
        }
        short revents = 0;
        if ((r < 0 && errno != EAGAIN && errno != EINTR) ||
            !WaitReady(fd_, POLLOUT, deadlineNs, revents) || (revents & (POLLERR | POLLHUP))) {
            Close();
            return false;
        }
    }
    return done == n;
}

int TcpConnection::ReceiveSome(uint8_t* buffer, int n, int64_t deadlineNs) {
    while (fd_ >= 0) {
        const ssize_t r = ::recv(fd_, buffer, static_cast<size_t>(n), 0);
        if (r > 0)
            return static_cast<int>(r);
        if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            Close();
            return -1;
        }
        short revents = 0;
        if (!WaitReady(fd_, POLLIN, deadlineNs, revents))
            return 0;
    }
    return -1;
}

bool TcpConnection::DropPending() {
    uint8_t scratch[512];
    while (fd_ >= 0) {
        const ssize_t r = ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT);
        if (r > 0)
            continue;
        if (r < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        Close();
    }
    return false;
}

} // namespace quarnex
