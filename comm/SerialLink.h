#pragma once

#include "platform/SerialPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quarnex {

class CommSettings;
class Prompter;

// Timing constants of one baud rate. The inter-frame delay is the silent interval that must
// precede every request (at least 3.5 character times); the byte time is the per-byte multiplier
// of the read and write time-outs; the receive base is added to every receive time-out.
struct BaudTiming {
    int baud;
    int interFrameDelayMs;
    int byteTimeMs;
    int receiveBaseMs;
};

// When the last request and its answer crossed the line (MonotonicNs times), noted while the link
// is asked to. The silence before the request runs from the last byte seen on the line (the
// previous answer's last byte, or the previous request's when nothing answered); -1 when the
// link has not seen the line since it opened.
struct LineTimes {
    int64_t requestStartNs = 0;
    int64_t requestEndNs = 0;
    int64_t gapNs = -1;
    ByteArrivals answer;
};

// The serial port that carries the bus: opened and configured from CommSettings, with the
// time-out record and the silent interval of the Modbus RTU master.
class SerialLink {
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    static constexpr int kReadIntervalMs = 250;
    static constexpr int kReceiveMarginMs = 400;
    static constexpr int kPollMarginMs = 30;
    static constexpr int kWriteTotalConstantMs = 500;
    // The shortest silence taken as a quiet line: scheduling and USB adapters (which pass bytes on
    // in bursts) make a gap of a few character times at high baud rates mean nothing.
    static constexpr int kQuietFloorMs = 10;

    // Checks that the clock resolves a millisecond; shows "Can not initiate delay timer." through
    // the prompter when it does not. The link works either way.
    SerialLink(const CommSettings& settings, Prompter& prompter, PortFactory factory = {});
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // (Re)opens the port from the settings. Shows "Can not open serial communication port." (with
    // the device path and the system's reason on the next line) when the device cannot be opened,
    // and "Can not initiate serial communication port." when it refuses the time-outs or mode.
    bool Open();
    void Close();
    bool IsOpen() const;

    bool SetReceiveMargin(int ms);
    bool RestoreReceiveMargin() { return SetReceiveMargin(kReceiveMarginMs); }
    int DefaultReceiveTimeout() const;
    int PollTimeout() const;
    int InterFrameDelay() const { return timing_.interFrameDelayMs; }
    const BaudTiming& Timing() const { return timing_; }

    void Delay(int ms);
    bool Purge();
    int Write(const uint8_t* data, int n);
    int Read(uint8_t* buffer, int n);
    // After a failed attempt: reads and drops bytes until the line has been silent for a few
    // character times (QuietTime), at most for the receive time-out with this margin. A late
    // answer still on its way would otherwise arrive during the next request's wait and be read
    // as (the start of) its answer, and every following answer would be shifted by it. The
    // number of bytes dropped.
    int LetLineGoQuiet(int marginMs);
    int QuietTime() const;

    // Notes the times of each request and its answer from now on (off: nothing is noted).
    void NoteTimes(bool on) { noteTimes_ = on; }
    LineTimes Times() const;
    // The wire time of one character: start bit, 8 data bits, parity bit and stop bits.
    int64_t CharacterNs() const;

    // Observable values of the last Open: "COM%d", the mode string and the device path.
    const std::string& PortName() const { return portName_; }
    const std::string& ModeString() const { return modeString_; }
    const std::string& DevicePath() const { return devicePath_; }
    // The time-out record now in force (all zero while no port is open).
    SerialTimeouts Timeouts() const;
    bool TimerOk() const { return timerOk_; }

    static const BaudTiming& TimingFor(int baud);

private:
    const CommSettings& settings_;
    Prompter& prompter_;
    PortFactory factory_;
    std::unique_ptr<SerialPort> port_;
    BaudTiming timing_;
    int additionalReceiveTimeout_ = 0;
    bool timerOk_ = true;
    bool noteTimes_ = false;
    LineTimes times_;
    std::string portName_, modeString_, devicePath_;
};

} // namespace quarnex
