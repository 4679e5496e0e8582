#pragma once

#include "comm/BusLink.h"
#include "comm/CommSettings.h"
#include "platform/TcpConnection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex {

class Prompter;

namespace mbap {
// The MBAP header in front of every Modbus TCP frame: transaction id, protocol id (0), the length
// of what follows (unit id and PDU), the unit id.
constexpr int kHeaderLength = 7;
// The longest PDU a Modbus TCP frame carries.
constexpr int kMaxPdu = 253;

// The Modbus TCP frame of an RTU frame (address, PDU, CRC): the header with transactionId and
// the address as unit id, then the PDU. Empty for a frame too short to carry a function.
std::vector<uint8_t> FromRtu(const uint8_t* frame, int n, uint16_t transactionId);

// What a header says about the frame behind it.
enum class HeaderCheck {
    Ok,               // the frame answers the transaction: read `pduLength` bytes more
    OtherTransaction, // a well-formed frame of another transaction (a late answer): read and drop
    Broken,           // not a Modbus frame (protocol id not 0, length out of range)
};
HeaderCheck CheckHeader(const uint8_t header[kHeaderLength], uint16_t transactionId,
                        int& pduLength);

// Whether bytes read off an RTU stream are a Modbus TCP server's answer to the RTU request:
// such a server takes the request's first seven bytes for a header and echoes its transaction
// id, a protocol id of 0 and its unit id in front of its answer.
bool IsAnswerToRtuAsHeader(const uint8_t* request, int requestLength, const uint8_t* answer,
                           int answerLength);

// The RTU form of an answer (unit id as address, the PDU, a CRC computed here), which the master
// checks as it checks every answer.
std::vector<uint8_t> ToRtu(uint8_t unit, const uint8_t* pdu, int n);
} // namespace mbap

// The bus behind a TCP connection: RTU over TCP (a serial device server forwarding the frames as
// they are) or Modbus TCP (a gateway that takes MBAP frames and asks the RTU slaves itself). The
// connection is made at Open and again before the next request whenever it dropped, each time
// within the connect time-out (the response time-out of the profile); a request over a dropped or
// unreachable connection goes unanswered, as on a silent bus. Every answer must come within the
// response time-out.
class NetworkLink : public BusLink {
public:
    static constexpr int kStreamQuietMinMs = 5;
    // After a failed connect the next one waits this long; requests meanwhile are unanswered.
    static constexpr int kReconnectPauseMs = 3000;
    // The longest a request waits for a name lookup before it goes unanswered (the lookup goes
    // on, bounded by the connect time-out).
    static constexpr int kLookupWaitMs = 100;

    NetworkLink(const CommSettings& settings, Prompter& prompter);
    ~NetworkLink() override { Close(); }
    NetworkLink(const NetworkLink&) = delete;
    NetworkLink& operator=(const NetworkLink&) = delete;

    // Connects; shows "Can not connect to the bus gateway." with the address and the reason when
    // that fails. The link stays open either way and connects again on the next request.
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    bool Connected() const { return connection_.IsConnected(); }

    void PrepareRequest() override;
    int Write(const uint8_t* frame, int n) override;
    int Read(uint8_t* buffer, int n) override;

    // The response time-out, longer by what a margin above the usual one asks for (the long
    // operations of the instruments: erasing flash, storing the set-up).
    bool SetReceiveMargin(int ms) override;
    int DefaultReceiveTimeout() const override { return responseTimeoutMs_; }
    int PollTimeout() const override { return kPollMarginMs; }
    // Modbus TCP: the frames of earlier transactions that came while waiting for an answer, or
    // were waiting before a request.
    std::vector<LateAnswer> TakeLateAnswers() override;
    // Modbus TCP knows a late frame by its transaction id: nothing to do. On an RTU stream the
    // rest of a broken answer may still be trickling in from the device server's line: it is
    // read and dropped until the stream has been quiet for the silence between two frames at
    // the line's baud rate (at least kStreamQuietMinMs), at most for the receive time-out with
    // this margin; a stream still talking then is given up and connected again.
    int DropLateAnswer(int marginMs) override;
    // The framing hint of the last answer; while the connection is down after a failed connect,
    // why ("Connection refused", a name that does not resolve).
    std::string AnswerHint() const override;
    bool HeldBack() const override { return heldBack_; }
    // The pause after a failed connect (kReconnectPauseMs unless a test shortens it).
    void SetReconnectPauseMs(int ms) { reconnectPauseMs_ = ms; }
    TcpConnection& Connection() { return connection_; }

    void NoteTimes(bool on) override { noteTimes_ = on; }
    LineTimes Times() const override;

    const std::string& Address() const { return address_; }
    // How often a connection was tried since the link was made.
    int ConnectAttempts() const { return connectAttempts_; }

private:
    // lookupWaitMs: how long a name lookup is waited for now (negative: the connect time-out).
    bool Connect(std::string& reason, int lookupWaitMs = -1);
    // Modbus TCP: receives frames until the one of this transaction is in (into pending_) or the
    // deadline passes; frames of other transactions are dropped.
    void ReceiveMbapAnswer();
    // Bytes that are no frame of this transaction's framing: handed on as they are, with the hint.
    void TakeForeign(const std::vector<uint8_t>& bytes, int hintId);
    void NoteArrival(int bytes);
    // Modbus TCP: reads the whole frames waiting before a request (late answers, noted as such);
    // a frame that does not come whole soon after its start, or a broken one, ends the
    // connection.
    void DrainMbapFrames();
    // Notes a complete frame of another transaction as a late answer.
    void NoteLate(const std::vector<uint8_t>& frame);

    const CommSettings& settings_;
    Prompter& prompter_;
    TcpConnection connection_;
    LinkKind kind_ = LinkKind::RtuOverTcp;
    std::string host_, address_;
    int port_ = 0;
    int responseTimeoutMs_ = CommSettings::kDefaultResponseTimeout;
    int receiveTimeoutMs_ = CommSettings::kDefaultResponseTimeout;
    bool open_ = false;
    uint16_t transactionId_ = 0;
    int64_t answerDeadlineNs_ = 0;
    bool answerTaken_ = false;
    std::vector<uint8_t> pending_;
    size_t pendingAt_ = 0;
    bool noteTimes_ = false;
    // When the last requests were sent, by transaction id, to tell how late a late answer is.
    struct Sent {
        uint16_t transactionId = 0;
        int64_t ns = 0;
    };
    std::vector<Sent> sent_ = std::vector<Sent>(16);
    std::vector<LateAnswer> late_;
    int quietMs_ = kStreamQuietMinMs;
    // The first bytes of the last request (RTU form) and of its answer as they came, to tell an
    // answer in the other framing.
    std::vector<uint8_t> requestHead_;
    std::vector<uint8_t> received_;
    std::string hint_;
    std::string downReason_; // why the last connect failed; empty while connected
    int64_t reconnectAtNs_ = 0;
    int connectAttempts_ = 0;
    int reconnectPauseMs_ = kReconnectPauseMs;
    bool heldBack_ = false;
    LineTimes times_;
};

} // namespace quarnex
