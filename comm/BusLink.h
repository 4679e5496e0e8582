#pragma once

#include "platform/SerialPort.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex {

// When the last request and its answer crossed the link (MonotonicNs times), noted while the link
// is asked to. On the serial line the silence before the request runs from the last byte seen on
// the line (the previous answer's last byte, or the previous request's when nothing answered); -1
// when the link has not seen the line since it opened, and always on a network link. The
// character time is the wire time of one character at the line's settings (0 on a network link,
// which has no line of its own to time).
struct LineTimes {
    int64_t requestStartNs = 0;
    int64_t requestEndNs = 0;
    int64_t gapNs = -1;
    int64_t characterNs = 0;
    ByteArrivals answer;
};

// An answer that came after the wait for it had ended, and was dropped: a Modbus TCP gateway's
// frame of an earlier transaction. afterMs: from its request to its arrival (-1 when the request
// is too far back to tell).
struct LateAnswer {
    int address = 0;
    bool gatewaySilence = false; // the gateway's 0x0A or 0x0B, not the instrument's answer
    int afterMs = -1;
};

// What carries the master's frames to the bus: the serial port, a serial device server (the RTU
// frames on a TCP stream) or a Modbus TCP gateway. The master always hands over and takes back
// RTU frames (address, function, data, CRC); a link that speaks another framing translates. The
// timing that exists because of the serial line (the silence before a request, letting the line
// go quiet, the baud-rate time-outs) is the serial link's own; network links wait for an answer
// the response time-out of the profile.
class BusLink {
public:
    // The margin added to every receive time-out, and the shorter one of polling.
    static constexpr int kReceiveMarginMs = 400;
    static constexpr int kPollMarginMs = 30;

    virtual ~BusLink() = default;

    // (Re)opens the link from the settings; on failure shows why through the prompter.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // True once opened; a network link stays open while its connection is down (it connects
    // again on the next request).
    virtual bool IsOpen() const = 0;

    // Makes the link ready for the next request: the serial link waits until the line has been
    // silent for the inter-frame delay, a network link connects again when it has to; both drop
    // whatever stale bytes are waiting.
    virtual void PrepareRequest() = 0;
    // Sends one RTU frame (CRC included). The number of bytes sent, -1 on an error. A network
    // link whose peer cannot be reached takes the frame and answers nothing, as a silent bus.
    virtual int Write(const uint8_t* frame, int n) = 0;
    // Reads up to n bytes of the answer, in RTU form; fewer on a time-out.
    virtual int Read(uint8_t* buffer, int n) = 0;

    // Sets the margin of the receive time-out (kReceiveMarginMs by default).
    virtual bool SetReceiveMargin(int ms) = 0;
    bool RestoreReceiveMargin() { return SetReceiveMargin(kReceiveMarginMs); }
    virtual int DefaultReceiveTimeout() const = 0;
    // The margin the polling windows pass as their extra time-out.
    virtual int PollTimeout() const = 0;
    // While on, the requests are search probes at addresses that may hold nothing. Every link
    // waits for a probe's answer as long as for any other: a gateway's 0x0A or 0x0B ends the wait
    // early, and a shorter wait gave up on instruments behind slow gateways.
    virtual void SetProbing(bool) {}
    // The answers that came too late and were dropped since the last call, oldest first.
    virtual std::vector<LateAnswer> TakeLateAnswers() { return {}; }
    // After a failed attempt that received something: drops what is still on its way of that
    // answer, so that the next attempt does not read it as (the start of) its own. The margin is
    // the one of the receive time-out the attempt had. The number of bytes dropped.
    virtual int DropLateAnswer(int marginMs) = 0;

    // Why the bytes of the last answer are not a frame at all in this link's framing (a Modbus
    // TCP answer on an RTU stream, or the reverse, a header that makes no sense, half a frame);
    // empty when they are one, or when nothing came.
    virtual std::string AnswerHint() const { return {}; }
    // True when the last request never went out and no attempt was made to send it: a network
    // link waiting out its pause after a failed connect, or still looking up its host's name.
    // Nothing crossed the line, so the traffic shows no row for it (the failed connect has one).
    virtual bool HeldBack() const { return false; }
    // What happened to the link itself since the last call, one text each ("COM1 (/dev/ttyUSB0)
    // was removed", "... is back"), oldest first.
    virtual std::vector<std::string> TakeLinkEvents() { return {}; }

    virtual void NoteTimes(bool on) = 0;
    virtual LineTimes Times() const = 0;
};

} // namespace quarnex
