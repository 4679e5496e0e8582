#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <termios.h>

namespace quarnex {

// The time-out record of a serial port, in milliseconds. A read of n bytes ends at the latest
// after n * readTotalMultiplier + readTotalConstant, or earlier when more than readInterval passes
// between two received bytes (the interval counts only once the first byte is in). A write of n
// bytes gives up after n * writeTotalMultiplier + writeTotalConstant.
struct SerialTimeouts {
    int readInterval = 0;
    int readTotalMultiplier = 0;
    int readTotalConstant = 0;
    int writeTotalMultiplier = 0;
    int writeTotalConstant = 0;
};

// When the bytes of the reads since the last ResetArrivals came in (MonotonicNs times): the
// arrival of the first and of the last, and the longest silence between two, each as the read
// saw them. A silence is the time between two arrivals less the wire time of the bytes that
// arrived at the end of it, so bytes paced one character apart show none. All zero while nothing
// came.
struct ByteArrivals {
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    int64_t longestSilenceNs = 0;
    int64_t bytes = 0;
};

// One serial device opened exclusively. Reads and writes block until done or timed out.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device exclusively. On failure returns false and fills errorText with the
    // system's reason (or why the device is no serial line) and errorNumber with errno.
    virtual bool Open(const std::string& devicePath, std::string& errorText, int& errorNumber) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
    virtual bool GetTimeouts(SerialTimeouts& timeouts) const = 0;

    // Applies a mode string "baud=%d parity=%C data=%d stop=%d" to the device's current
    // settings (raw mode otherwise). False when the string cannot be parsed or the device refuses.
    virtual bool ApplyMode(const std::string& mode) = 0;

    // Asks the driver for the kernel's RS-485 mode (RTS on while sending, the given delays before
    // and after sending). False with the system's reason when the driver refuses it.
    virtual bool SetRs485(int delayBeforeMs, int delayAfterMs, std::string& reason) {
        (void)delayBeforeMs;
        (void)delayAfterMs;
        reason = "no RS-485 mode on this port";
        return false;
    }

    // Drops everything in both directions.
    virtual bool Purge() = 0;
    // Returns once the bytes have been sent on the line (or handed to the device's transmitter),
    // since the answer cannot start before the request is out and the receive time-out counts
    // from the return. The number of bytes sent (fewer on a time-out), -1 on an error.
    virtual int Write(const uint8_t* data, int n) = 0;
    // Returns the number of bytes read (fewer on a time-out), -1 on an error.
    virtual int Read(uint8_t* buffer, int n) = 0;

    // Noting byte arrivals costs a few additions per read; a port that cannot tell gives zeros.
    // characterNs is the wire time of one character at the line's settings.
    virtual void ResetArrivals(int64_t characterNs) { (void)characterNs; }
    virtual ByteArrivals Arrivals() const { return {}; }
    // Reads and drops what arrives until the line has been silent for quietMs, or limitMs has
    // passed. The number of bytes dropped.
    virtual int DropUntilQuiet(int quietMs, int limitMs) = 0;
    // The number of received bytes waiting to be read (0 when the port cannot tell).
    virtual int InputWaiting() const { return 0; }
    // True when the device went away under the open port: it hung up or failed with EIO,
    // ENODEV or ENXIO (a USB adapter pulled out, the program owning a pseudo-terminal ended),
    // or its path now names no device or another one.
    virtual bool DeviceGone() const { return false; }
};

// The POSIX termios implementation; works on real serial ports, USB adapters and pseudo-terminals.
class PosixSerialPort : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override { Close(); }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool Open(const std::string& devicePath, std::string& errorText, int& errorNumber) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool SetTimeouts(const SerialTimeouts& timeouts) override;
    bool GetTimeouts(SerialTimeouts& timeouts) const override;
    bool ApplyMode(const std::string& mode) override;
    bool SetRs485(int delayBeforeMs, int delayAfterMs, std::string& reason) override;
    bool Purge() override;
    int Write(const uint8_t* data, int n) override;
    int Read(uint8_t* buffer, int n) override;
    void ResetArrivals(int64_t characterNs) override;
    ByteArrivals Arrivals() const override { return arrivals_; }
    int DropUntilQuiet(int quietMs, int limitMs) override;
    int InputWaiting() const override;
    bool DeviceGone() const override;

    int Fd() const { return fd_; }
    // Bytes that arrived while a request was still going out, dropped by Write (no slave answers
    // before it has the whole request, so they belong to something earlier), since the open.
    int StaleBytesDropped() const { return staleDropped_; }

protected:
    // Bytes the device has taken but not yet sent on the line (TIOCOUTQ); 0 when it cannot tell.
    virtual int QueuedOutput() const;

private:
    // Drops the bytes waiting in the input queue while output is still queued; see Write.
    void DropInputWhileSending();

    int fd_ = -1;
    SerialTimeouts timeouts_{};
    ByteArrivals arrivals_{};
    int64_t characterNs_ = 0;
    // The wire time of one character at the mode applied last (0 before).
    int64_t lineCharacterNs_ = 0;
    // The line settings found at open, put back at close: the port is the user's, and the next
    // program to use it (a terminal, a getty, a logger) expects it as it was.
    termios original_{};
    bool restoreOriginal_ = false;
    int staleDropped_ = 0;
    // The path opened and the device it named then; set when the device failed as a removed one.
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool gone_ = false;
};

// Why a device cannot carry the bus, or empty when it is a terminal. Writing Modbus frames into a
// regular file would overwrite it, /dev/null swallows every request, and a FIFO hands the request
// back as its own echo, so nothing but a terminal (serial port, USB adapter, pseudo-terminal) is
// used.
std::string NonTerminalReason(int fd);

// Parsed form of a mode string; false when it does not have the expected shape.
struct SerialMode {
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};
bool ParseSerialMode(const std::string& mode, SerialMode& out);

} // namespace quarnex
