#pragma once

#include <cstdint>
#include <string>

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
    bool Connect(const std::string& host, int port, int timeoutMs, std::string& reason);
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

private:
    int fd_ = -1;
};

} // namespace quarnex
