#pragma once

#include "comm/BusLink.h"
#include "platform/SerialPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// The serial port that carries the bus: opened and configured from CommSettings, with the
// time-out record and the silent interval of the Modbus RTU master.
class SerialLink : public BusLink {
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    static constexpr int kReadIntervalMs = 250;
    static constexpr int kWriteTotalConstantMs = 500;
    // The shortest silence taken as a quiet line: scheduling and USB adapters (which pass bytes on
    // in bursts) make a gap of a few character times at high baud rates mean nothing.
    static constexpr int kQuietFloorMs = 10;

    // Checks that the clock resolves a millisecond; shows "Can not initiate delay timer." through
    // the prompter when it does not. The link works either way.
    SerialLink(const CommSettings& settings, Prompter& prompter, PortFactory factory = {});
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // (Re)opens the port from the settings. Shows "Can not open serial communication port." (with
    // the device path and the system's reason on the next line) when the device cannot be opened,
    // and "Can not initiate serial communication port." when it refuses the time-outs or mode.
    // With the RS-485 mode set, asks the driver for it; a driver that refuses gives
    // "The serial port refuses the RS-485 mode." with the device and the system's reason.
    bool Open() override;
    void Close() override;
    // True while the port is open, and while its device is away (see DeviceRemoved).
    bool IsOpen() const override;

    // A device that goes away under the open port (a USB adapter pulled out, a pseudo-terminal
    // whose program ended, the path now naming another device) is closed and said to be removed;
    // from then on the link tries its path again before a request, at most once every
    // kReopenPeriodMs, and reopens it with the same settings when it is there again (a
    // /dev/serial/by-id/ name survives a replug). Meanwhile requests go unanswered at once and
    // are held back, and the silence says "COM1 (/dev/ttyUSB0) was removed".
    static constexpr int kReopenPeriodMs = 1000;
    bool DeviceRemoved() const { return removed_; }
    std::string AnswerHint() const override;
    bool HeldBack() const override { return removed_; }
    std::vector<std::string> TakeLinkEvents() override;

    bool SetReceiveMargin(int ms) override;
    int DefaultReceiveTimeout() const override;
    int PollTimeout() const override;
    // The silence before a request in milliseconds.
    int InterFrameDelay() const { return timing_.interFrameDelayMs; }
    // The serial line's time-outs follow the baud rate and are short already: a probe waits as
    // long as any other request.
    void SetProbing(bool) override {}
    const BaudTiming& Timing() const { return timing_; }

    // Waits until the line has been silent for the inter-frame delay, counted from the last byte
    // seen on it (the time the master spent on the answer counts), then drops stale input.
    void PrepareRequest() override;
    void Delay(int ms);
    bool Purge();
    int Write(const uint8_t* data, int n) override;
    int Read(uint8_t* buffer, int n) override;
    // After a failed attempt: reads and drops bytes until the line has been silent for a few
    // character times (QuietTime), at most for the receive time-out with this margin. A late
    // answer still on its way would otherwise arrive during the next request's wait and be read
    // as (the start of) its answer, and every following answer would be shifted by it. The
    // number of bytes dropped.
    int LetLineGoQuiet(int marginMs);
    int DropLateAnswer(int marginMs) override { return LetLineGoQuiet(marginMs); }
    int QuietTime() const;

    // Notes the times of each request and its answer from now on (off: nothing is noted).
    void NoteTimes(bool on) override { noteTimes_ = on; }
    LineTimes Times() const override;
    // The wire time of one character: start bit, 8 data bits, parity bit and stop bits.
    int64_t CharacterNs() const;

    // Observable values of the last Open: "COM%d", the mode string and the device path.
    const std::string& PortName() const { return portName_; }
    const std::string& ModeString() const { return modeString_; }
    const std::string& DevicePath() const { return devicePath_; }
    // The time-out record now in force (all zero while no port is open).
    SerialTimeouts Timeouts() const;

    static const BaudTiming& TimingFor(int baud);

private:
    bool PortOpen() const { return port_ && port_->IsOpen(); }
    // Sets the port up from the settings: time-outs, mode, RS-485. The failure's text, or empty.
    std::string Configure();
    // After a failed or short read or write: closes the port when its device went away.
    void CheckRemoved();
    void TryReopen();

    const CommSettings& settings_;
    Prompter& prompter_;
    PortFactory factory_;
    std::unique_ptr<SerialPort> port_;
    BaudTiming timing_;
    int additionalReceiveTimeout_ = 0;
    bool timerOk_ = true;
    bool noteTimes_ = false;
    // The last time a byte was seen on the line, sent or received (0: not since the open).
    int64_t lineSeenNs_ = 0;
    LineTimes times_;
    std::string portName_, modeString_, devicePath_;
    bool removed_ = false;
    int64_t reopenAtNs_ = 0;
    std::vector<std::string> events_;
};

} // namespace quarnex
