#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct addrinfo;

namespace quarnex {

// One TCP connection to a serial device server or a Modbus TCP gateway, blocking with deadlines
// (MonotonicNs times). A peer that closes or resets the connection leaves it closed; the owner
// connects again when it needs to.
class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection() { Close(); }
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host (a name, an IPv4 address or an IPv6 address) and connects to the first
    // address that takes the connection within timeoutMs. On failure false with the reason.
    // The system's resolver has no time-out of its own: it runs in a thread of its own, and
    // this call waits for it at most lookupWaitMs (the whole time-out when negative). A lookup
    // still running then gives false with "resolving HOST" (LookupPending() is true) and is
    // waited for again by the next call, until timeoutMs from its start have passed: then the
    // name "cannot be resolved". The addresses found are kept while host and port stay the same
    // and until a connect to them fails.
    bool Connect(const std::string& host, int port, int timeoutMs, std::string& reason,
                 int lookupWaitMs = -1);
    bool LookupPending() const { return lookup_ != nullptr; }
    // What looks a name up, in the lookup's thread: getaddrinfo, or a stand-in with its result
    // (a list getaddrinfo made, freed with freeaddrinfo) for a test of a slow or broken resolver.
    using Resolver = std::function<int(const std::string& host, const std::string& service,
                                       const addrinfo& hints, addrinfo** found)>;
    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    void Close();
    bool IsConnected() const { return fd_ >= 0; }

    // Sends all n bytes (the kernel takes them at once unless the peer stalls); false and closed
    // when the connection broke or the deadline passed first.
    bool SendAll(const uint8_t* data, int n, int64_t deadlineNs);
    // Reads up to n bytes, waiting until at least one is in or the deadline passes. The number
    // read; 0 on the deadline; -1 when the peer closed or reset the connection (now closed).
    int ReceiveSome(uint8_t* buffer, int n, int64_t deadlineNs);
    // Drops the bytes already received and not read. False when the peer has closed meanwhile
    // (the connection is then closed).
    bool DropPending();

    struct Lookup;

private:
    bool Resolve(const std::string& host, int port, int timeoutMs, int lookupWaitMs,
                 std::string& reason);

    int fd_ = -1;
    std::shared_ptr<Lookup> lookup_;   // the lookup running, shared with its thread
    std::shared_ptr<Lookup> resolved_; // the addresses found for host_ and port_
    std::string host_;
    int port_ = 0;
    int64_t lookupStartNs_ = 0;
    Resolver resolver_;
};

} // namespace quarnex
