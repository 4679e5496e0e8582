#include "comm/NetworkLink.h"

#include "comm/Crc.h"
#include "comm/ModbusMaster.h"
#include "comm/SerialLink.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "res/LinksTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstring>

namespace quarnex {

namespace mbap {

std::vector<uint8_t> FromRtu(const uint8_t* frame, int n, uint16_t transactionId) {
    if (n < 4 || n - 3 > kMaxPdu)
        return {};
    const int following = n - 2; // unit id and PDU, without the CRC
    std::vector<uint8_t> out{
        static_cast<uint8_t>(transactionId >> 8), static_cast<uint8_t>(transactionId), 0, 0,
        static_cast<uint8_t>(following >> 8),     static_cast<uint8_t>(following)};
    out.insert(out.end(), frame, frame + following);
    return out;
}

HeaderCheck CheckHeader(const uint8_t header[kHeaderLength], uint16_t transactionId,
                        int& pduLength) {
    const int protocol = header[2] << 8 | header[3];
    const int following = header[4] << 8 | header[5];
    pduLength = following - 1;
    if (protocol != 0 || following < 2 || following > kMaxPdu + 1)
        return HeaderCheck::Broken;
    return (header[0] << 8 | header[1]) == transactionId ? HeaderCheck::Ok
                                                         : HeaderCheck::OtherTransaction;
}

bool IsAnswerToRtuAsHeader(const uint8_t* request, int requestLength, const uint8_t* answer,
                           int answerLength) {
    return requestLength >= kHeaderLength && answerLength >= kHeaderLength &&
           std::equal(answer, answer + 2, request) && answer[2] == 0 && answer[3] == 0 &&
           request[2] == 0 && request[3] == 0 && answer[6] == request[6];
}

std::vector<uint8_t> ToRtu(uint8_t unit, const uint8_t* pdu, int n) {
    std::vector<uint8_t> out{unit};
    out.insert(out.end(), pdu, pdu + std::max(0, n));
    const uint16_t crc = Crc16Modbus(out.data(), out.size());
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    return out;
}

} // namespace mbap

NetworkLink::NetworkLink(const CommSettings& settings, Prompter& prompter)
    : settings_(settings), prompter_(prompter) {}

bool NetworkLink::Connect(std::string& reason, int lookupWaitMs) {
    const int64_t now = MonotonicNs();
    if (!downReason_.empty() && now < reconnectAtNs_) {
        reason = downReason_;
        return false;
    }
    ++connectAttempts_;
    // The connect time-out is the response time-out: nothing waits on the link longer than that.
    if (connection_.Connect(host_, port_, responseTimeoutMs_, reason, lookupWaitMs)) {
        downReason_.clear();
        return true;
    }
    if (connection_.LookupPending()) {
        // The name is still being looked up: asked again at the next request, no pause.
        downReason_ = reason;
        reconnectAtNs_ = 0;
        return false;
    }
    // A gateway that refuses, or a name that does not resolve, is not asked again at every
    // request: the requests meanwhile go unanswered at once, and say why.
    downReason_ = reason.empty() ? std::string("no connection") : reason;
    reconnectAtNs_ = MonotonicNs() + int64_t{reconnectPauseMs_} * 1'000'000;
    return false;
}

bool NetworkLink::Open() {
    Close();
    kind_ = settings_.Kind() == LinkKind::ModbusTcp ? LinkKind::ModbusTcp : LinkKind::RtuOverTcp;
    host_ = settings_.Host();
    port_ = settings_.TcpPort();
    address_ = LinkAddress(kind_, host_, port_);
    responseTimeoutMs_ = receiveTimeoutMs_ = settings_.ResponseTimeoutMs();
    // The device server's line: a frame ends after 3.5 character times of silence.
    quietMs_ =
        std::max(kStreamQuietMinMs, SerialLink::TimingFor(settings_.BaudRate()).interFrameDelayMs);
    times_ = {};
    open_ = true;
    downReason_.clear();
    std::string reason;
    if (!Connect(reason)) {
        prompter_.Error(FormatText(Text(ids::kCannotConnect), {address_, reason}));
        return false;
    }
    return true;
}

void NetworkLink::Close() {
    connection_.Close();
    open_ = false;
    pending_.clear();
}

void NetworkLink::PrepareRequest() {
    pending_.clear();
    pendingAt_ = 0;
    answerTaken_ = false;
    received_.clear();
    hint_.clear();
    // An answer that came after its time-out (or bytes a device server passed on from the line)
    // must not be read as the next answer; a peer that closed meanwhile is connected again. A
    // gateway's late frames are read whole and noted: the search asks their addresses again.
    if (connection_.IsConnected()) {
        if (kind_ == LinkKind::ModbusTcp)
            DrainMbapFrames();
        else
            connection_.DropPending();
    }
    // The window's thread waits for a name lookup only briefly; it goes on in the background.
    heldBack_ = false;
    if (open_ && !connection_.IsConnected()) {
        const int attempts = connectAttempts_;
        std::string reason;
        // Held back: the pause is running (no attempt made), or the lookup has not answered yet.
        if (!Connect(reason, kLookupWaitMs))
            heldBack_ = connectAttempts_ == attempts || connection_.LookupPending();
    }
}

void NetworkLink::DrainMbapFrames() {
    // A frame whose first bytes are in has the rest on its way: it gets this long to arrive.
    constexpr int64_t kRestOfFrameNs = 200'000'000;
    uint8_t buffer[mbap::kHeaderLength + mbap::kMaxPdu];
    std::vector<uint8_t> frame;
    while (connection_.IsConnected()) {
        frame.clear();
        size_t want = mbap::kHeaderLength;
        int pduLength = 0;
        int64_t deadline = MonotonicNs(); // nothing waiting: nothing to drain
        while (frame.size() < want) {
            const int r =
                connection_.ReceiveSome(buffer, static_cast<int>(want - frame.size()), deadline);
            if (r <= 0) {
                if (!frame.empty()) // half a frame: no telling where the next starts
                    connection_.Close();
                return;
            }
            frame.insert(frame.end(), buffer, buffer + r);
            deadline = MonotonicNs() + kRestOfFrameNs;
            if (want == mbap::kHeaderLength && frame.size() == want) {
                if (mbap::CheckHeader(frame.data(), static_cast<uint16_t>(transactionId_ + 1),
                                      pduLength) == mbap::HeaderCheck::Broken) {
                    connection_.Close();
                    return;
                }
                want += static_cast<size_t>(pduLength);
            }
        }
        NoteLate(frame);
    }
}

void NetworkLink::NoteLate(const std::vector<uint8_t>& frame) {
    if (frame.size() < mbap::kHeaderLength + 1)
        return;
    LateAnswer late;
    late.address = frame[6];
    late.gatewaySilence =
        (frame[7] & 0x80) && frame.size() > mbap::kHeaderLength + 1 &&
        (frame[8] == modbus::kGatewayPathUnavailable || frame[8] == modbus::kGatewayTargetFailed);
    const uint16_t id = static_cast<uint16_t>(frame[0] << 8 | frame[1]);
    for (const Sent& s : sent_)
        if (s.ns != 0 && s.transactionId == id)
            late.afterMs = static_cast<int>((MonotonicNs() - s.ns) / 1'000'000);
    // A frame of a transaction not sent lately is no late answer of ours: dropped unnoted.
    if (late.afterMs < 0)
        return;
    late_.push_back(late);
    // A gateway answering every request of a long search late must not grow this without end.
    if (late_.size() > 256)
        late_.erase(late_.begin());
}

std::vector<LateAnswer> NetworkLink::TakeLateAnswers() {
    std::vector<LateAnswer> out;
    out.swap(late_);
    return out;
}

int NetworkLink::Write(const uint8_t* frame, int n) {
    if (!open_)
        return -1;
    times_.requestStartNs = MonotonicNs();
    times_.answer = {};
    answerDeadlineNs_ = 0;
    requestHead_.assign(frame, frame + std::min(n, mbap::kHeaderLength));
    const int64_t deadline = times_.requestStartNs + int64_t{responseTimeoutMs_} * 1'000'000;
    if (kind_ == LinkKind::ModbusTcp) {
        ++transactionId_;
        sent_[transactionId_ % sent_.size()] = {transactionId_, times_.requestStartNs};
        const std::vector<uint8_t> adu = mbap::FromRtu(frame, n, transactionId_);
        if (adu.empty())
            return -1;
        connection_.SendAll(adu.data(), static_cast<int>(adu.size()), deadline);
    } else {
        connection_.SendAll(frame, n, deadline);
    }
    // Sent or not, the request is taken: a broken connection shows as a bus that does not answer,
    // and is made again before the next request.
    times_.requestEndNs = MonotonicNs();
    return n;
}

bool NetworkLink::SetReceiveMargin(int ms) {
    receiveTimeoutMs_ = responseTimeoutMs_ + std::max(0, ms - kReceiveMarginMs);
    return open_;
}

std::string NetworkLink::AnswerHint() const {
    if (hint_.empty() && open_ && !connection_.IsConnected() && !downReason_.empty())
        return address_ + ": " + downReason_;
    return hint_;
}

int NetworkLink::DropLateAnswer(int marginMs) {
    if (kind_ == LinkKind::ModbusTcp || !connection_.IsConnected())
        return 0;
    const int64_t limitNs =
        MonotonicNs() +
        int64_t{responseTimeoutMs_ + std::max(0, marginMs - kReceiveMarginMs)} * 1'000'000;
    uint8_t scratch[256];
    int dropped = 0;
    for (;;) {
        const int64_t now = MonotonicNs();
        if (now >= limitNs) {
            // Still talking after the longest answer could take: no telling where the next
            // answer would start, so the next request goes on a new connection.
            connection_.Close();
            break;
        }
        const int r = connection_.ReceiveSome(
            scratch, sizeof scratch, std::min(limitNs, now + int64_t{quietMs_} * 1'000'000));
        if (r <= 0)
            break; // quiet for the frame silence (or closed: connected again before the next)
        dropped += r;
    }
    return dropped;
}

void NetworkLink::NoteArrival(int bytes) {
    const int64_t now = MonotonicNs();
    ByteArrivals& a = times_.answer;
    if (a.bytes == 0)
        a.firstNs = now;
    else
        a.longestSilenceNs = std::max(a.longestSilenceNs, now - a.lastNs);
    a.lastNs = now;
    a.bytes += bytes;
}

void NetworkLink::TakeForeign(const std::vector<uint8_t>& bytes, int hintId) {
    // The master is handed the bytes as they came (they fail its check) and told why.
    pending_ = bytes;
    hint_ = Text(hintId);
}

void NetworkLink::ReceiveMbapAnswer() {
    std::vector<uint8_t> frame;
    uint8_t buffer[mbap::kHeaderLength + mbap::kMaxPdu];
    for (;;) {
        // One frame: the header, then as many bytes as it announces.
        size_t want = mbap::kHeaderLength;
        int pduLength = 0;
        mbap::HeaderCheck check = mbap::HeaderCheck::Ok;
        frame.clear();
        // A late frame's bytes are no part of this answer's timing.
        const ByteArrivals before = times_.answer;
        while (frame.size() < want) {
            const int r = connection_.ReceiveSome(buffer, static_cast<int>(want - frame.size()),
                                                  answerDeadlineNs_);
            if (r <= 0) {
                // Half a frame: the rest would be read as the start of the next answer.
                if (!frame.empty()) {
                    connection_.Close();
                    TakeForeign(frame, ids::kMbapFrameCut);
                }
                return;
            }
            NoteArrival(r);
            frame.insert(frame.end(), buffer, buffer + r);
            if (want == mbap::kHeaderLength && frame.size() == want) {
                check = mbap::CheckHeader(frame.data(), transactionId_, pduLength);
                if (check == mbap::HeaderCheck::Broken) {
                    // No telling where the next frame starts: start over on a new connection.
                    connection_.Close();
                    TakeForeign(frame, ids::kNotModbusTcp);
                    return;
                }
                want += static_cast<size_t>(pduLength);
            }
        }
        if (check == mbap::HeaderCheck::Ok) {
            pending_ = mbap::ToRtu(frame[6], frame.data() + mbap::kHeaderLength, pduLength);
            return;
        }
        // The answer of an earlier transaction whose wait had ended: dropped, and noted.
        times_.answer = before;
        NoteLate(frame);
    }
}

int NetworkLink::Read(uint8_t* buffer, int n) {
    if (!open_)
        return -1;
    if (answerDeadlineNs_ == 0)
        answerDeadlineNs_ = times_.requestEndNs + int64_t{receiveTimeoutMs_} * 1'000'000;
    if (kind_ == LinkKind::ModbusTcp) {
        if (!answerTaken_) {
            answerTaken_ = true;
            ReceiveMbapAnswer();
        }
        const int take =
            std::min(n, static_cast<int>(pending_.size() - std::min(pendingAt_, pending_.size())));
        if (take > 0)
            std::memcpy(buffer, pending_.data() + pendingAt_, static_cast<size_t>(take));
        pendingAt_ += static_cast<size_t>(std::max(0, take));
        return take;
    }
    int got = 0;
    while (got < n) {
        const int r = connection_.ReceiveSome(buffer + got, n - got, answerDeadlineNs_);
        if (r <= 0) {
            // An answer that did not come whole may still be on its way: on a stream it would
            // become the start of the next answer, so the next request goes on a new connection.
            // Silence keeps the connection: a device server that takes one connection at a time
            // may refuse the next, and a search meets silence at most addresses.
            if (got > 0 || r < 0)
                connection_.Close();
            break;
        }
        NoteArrival(r);
        got += r;
    }
    if (got > 0) {
        received_.insert(received_.end(), buffer, buffer + got);
        if (mbap::IsAnswerToRtuAsHeader(requestHead_.data(), static_cast<int>(requestHead_.size()),
                                        received_.data(), static_cast<int>(received_.size())))
            hint_ = Text(ids::kNotRtuOverTcp);
    }
    return got;
}

LineTimes NetworkLink::Times() const {
    return times_;
}

} // namespace quarnex
