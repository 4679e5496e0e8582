#include "platform/SerialPort.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quarnex {

namespace {

// The errors of a device that is no longer there.
bool RemovedError(int error) {
    return error == EIO || error == ENODEV || error == ENXIO;
}

// count bytes came in at nowNs. Bytes that arrive together crossed the line one after the other
// before the read saw them, so their wire time is no silence.
void NoteArrival(ByteArrivals& a, int64_t nowNs, int64_t count, int64_t characterNs) {
    if (a.bytes == 0)
        a.firstNs = nowNs;
    else
        a.longestSilenceNs = std::max(a.longestSilenceNs, nowNs - a.lastNs - count * characterNs);
    a.lastNs = nowNs;
    a.bytes += count;
}

bool BaudToSpeed(int baud, speed_t& speed) {
    switch (baud) {
    case 300:
        speed = B300;
        return true;
    case 600:
        speed = B600;
        return true;
    case 1200:
        speed = B1200;
        return true;
    case 2400:
        speed = B2400;
        return true;
    case 4800:
        speed = B4800;
        return true;
    case 9600:
        speed = B9600;
        return true;
    case 19200:
        speed = B19200;
        return true;
    case 38400:
        speed = B38400;
        return true;
    case 57600:
        speed = B57600;
        return true;
    case 115200:
        speed = B115200;
        return true;
    default:
        return false;
    }
}

// Asks the driver to pass received bytes on at once instead of collecting them: a USB adapter
// otherwise holds back each answer for its latency timer (16 ms on FTDI chips, which set the timer
// to 1 ms for this flag), and an 8250 UART for its FIFO's time-out. Drivers without the request
// (pseudo-terminals among them) refuse it; the port then works as it would have anyway.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

} // namespace

bool ParseSerialMode(const std::string& mode, SerialMode& out) {
    char parity = 0;
    int baud = 0, data = 0, stop = 0, consumed = 0;
    if (std::sscanf(mode.c_str(), "baud=%d parity=%c data=%d stop=%d%n", &baud, &parity, &data,
                    &stop, &consumed) != 4 ||
        static_cast<size_t>(consumed) != mode.size())
        return false;
    if (parity != 'N' && parity != 'E' && parity != 'O')
        return false;
    if (data < 5 || data > 8 || (stop != 1 && stop != 2))
        return false;
    out = {baud, parity, data, stop};
    return true;
}

std::string NonTerminalReason(int fd) {
    if (::isatty(fd))
        return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::string("not a serial port: ") + std::strerror(errno);
    const char* kind = S_ISREG(st.st_mode)    ? "a regular file"
                       : S_ISFIFO(st.st_mode) ? "a pipe (FIFO)"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISCHR(st.st_mode)  ? "a device that is no terminal"
                                              : "no terminal";
    return std::string("not a serial port (") + kind + ")";
}

bool PosixSerialPort::Open(const std::string& devicePath, std::string& errorText,
                           int& errorNumber) {
    Close();
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        errorText = std::strerror(errorNumber);
        return false;
    }
    if (std::string reason = NonTerminalReason(fd); !reason.empty()) {
        ::close(fd);
        errorNumber = ENOTTY;
        errorText = std::move(reason);
        return false;
    }
    // TIOCEXCL keeps other users out, but not root; the lock does, among programs that lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        errorNumber = errno == EWOULDBLOCK ? EBUSY : errno;
        errorText = std::strerror(errorNumber);
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    RequestLowLatency(fd);
    struct stat st {};
    ::fstat(fd, &st);
    path_ = devicePath;
    device_ = st.st_rdev;
    inode_ = st.st_ino;
    gone_ = false;
    restoreOriginal_ = ::tcgetattr(fd, &original_) == 0;
    fd_ = fd;
    timeouts_ = {};
    staleDropped_ = 0;
    return true;
}

void PosixSerialPort::Close() {
    if (fd_ < 0)
        return;
    if (restoreOriginal_)
        ::tcsetattr(fd_, TCSANOW, &original_);
    restoreOriginal_ = false;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_); // also releases the lock
    fd_ = -1;
}

bool PosixSerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ < 0)
        return false;
    timeouts_ = timeouts;
    return true;
}

bool PosixSerialPort::GetTimeouts(SerialTimeouts& timeouts) const {
    if (fd_ < 0)
        return false;
    timeouts = timeouts_;
    return true;
}

bool PosixSerialPort::ApplyMode(const std::string& mode) {
    SerialMode m;
    speed_t speed{};
    if (fd_ < 0 || !ParseSerialMode(mode, m) || !BaudToSpeed(m.baud, speed))
        return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag |= m.dataBits == 5 ? CS5 : m.dataBits == 6 ? CS6 : m.dataBits == 7 ? CS7 : CS8;
    if (m.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (m.parity != 'N')
        tio.c_cflag |= PARENB | (m.parity == 'O' ? PARODD : 0);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    // With parity on, the UART's verdict is used: a byte that fails it is read as 0 instead of
    // as it came, so a garbled answer cannot pass its CRC by chance. (A pseudo-terminal drops
    // the parity bit from the control flags but keeps this one: the simulator reads it there.)
    if (m.parity != 'N')
        tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return false;
    lineCharacterNs_ =
        int64_t{1 + m.dataBits + (m.parity != 'N' ? 1 : 0) + m.stopBits} * 1'000'000'000 / m.baud;
    if (::tcsetattr(fd_, TCSANOW, &tio) == 0)
        return true;
    // A pseudo-terminal keeps baud and stop bits but silently drops the parity bit, and glibc then
    // reports EINVAL when parity was the only change. Parity has no meaning there: accept the
    // settings without it when that is all the device refused.
    if (errno == EINVAL && m.parity != 'N') {
        termios now{};
        if (::tcgetattr(fd_, &now) == 0 && !(now.c_cflag & PARENB) &&
            ::cfgetospeed(&now) == speed && (now.c_cflag & CSIZE) == (tio.c_cflag & CSIZE) &&
            (now.c_cflag & CSTOPB) == (tio.c_cflag & CSTOPB) && !(now.c_lflag & ICANON))
            return true;
    }
    return false;
}

bool PosixSerialPort::SetRs485(int delayBeforeMs, int delayAfterMs, std::string& reason) {
    if (fd_ < 0) {
        reason = std::strerror(EBADF);
        return false;
    }
    serial_rs485 mode{};
    mode.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    mode.delay_rts_before_send = static_cast<uint32_t>(std::max(0, delayBeforeMs));
    mode.delay_rts_after_send = static_cast<uint32_t>(std::max(0, delayAfterMs));
    if (::ioctl(fd_, TIOCSRS485, &mode) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    // Some drivers take the call and keep what they can do: read back what is in force.
    serial_rs485 now{};
    if (::ioctl(fd_, TIOCGRS485, &now) != 0 || !(now.flags & SER_RS485_ENABLED)) {
        reason = "the driver did not keep the mode";
        return false;
    }
    return true;
}

bool PosixSerialPort::Purge() {
    if (fd_ < 0)
        return false;
    return ::tcflush(fd_, TCIOFLUSH) == 0;
}

int PosixSerialPort::Write(const uint8_t* data, int n) {
    if (fd_ < 0)
        return -1;
    const int64_t deadline =
        MonotonicNs() +
        (int64_t{n} * timeouts_.writeTotalMultiplier + timeouts_.writeTotalConstant) * 1'000'000;
    int done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, data + done, static_cast<size_t>(n - done));
        if (r > 0) {
            done += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) {
            gone_ = gone_ || RemovedError(errno);
            return done > 0 ? done : -1;
        }
        short revents = 0;
        if (!WaitReady(fd_, POLLOUT, deadline, revents) || (revents & (POLLERR | POLLNVAL)))
            break;
    }
    // write() returns as soon as the kernel has the bytes; on a real port they then take
    // n x 11 bits / baud to go out. Wait for that, within the write time-out: at low baud rates a
    // long request takes longer to send than the whole receive time-out of the answer, which
    // would otherwise start counting while the request is still on its way.
    for (;;) {
        DropInputWhileSending();
        const int queued = QueuedOutput();
        if (queued <= 0)
            break;
        const int64_t left = deadline - MonotonicNs();
        if (left <= 0)
            return std::max(0, done - queued);
        // The bytes still queued need their wire time to leave: sleep that long, then look again
        // (a driver that passes them on in bursts may need another look).
        const int64_t sendNs = std::max<int64_t>(int64_t{queued} * lineCharacterNs_, 50'000);
        timespec ts{0, static_cast<long>(std::min<int64_t>({left, sendNs, 999'999'999}))};
        ::nanosleep(&ts, nullptr);
    }
    return done;
}

void PosixSerialPort::DropInputWhileSending() {
    // The input count is taken first: when output is still queued after it, every one of those
    // bytes was in before the request was out, so none of them can be its answer.
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0 || QueuedOutput() <= 0)
        return;
    uint8_t scratch[256];
    while (waiting > 0) {
        const ssize_t r =
            ::read(fd_, scratch, static_cast<size_t>(std::min<int>(waiting, sizeof scratch)));
        if (r <= 0)
            break;
        waiting -= static_cast<int>(r);
        staleDropped_ += static_cast<int>(r);
    }
}

bool PosixSerialPort::DeviceGone() const {
    if (fd_ < 0)
        return false;
    if (gone_)
        return true;
    // A replugged adapter comes back under a new device node, and a pseudo-terminal made again
    // is another one: the path naming no device, or another one, means this one is gone.
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return st.st_rdev != device_ || st.st_ino != inode_;
}

int PosixSerialPort::InputWaiting() const {
    int waiting = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

int PosixSerialPort::QueuedOutput() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

void PosixSerialPort::ResetArrivals(int64_t characterNs) {
    arrivals_ = {};
    characterNs_ = characterNs;
}

int PosixSerialPort::Read(uint8_t* buffer, int n) {
    if (fd_ < 0)
        return -1;
    if (n <= 0)
        return 0;
    const int64_t totalDeadline =
        MonotonicNs() +
        (int64_t{n} * timeouts_.readTotalMultiplier + timeouts_.readTotalConstant) * 1'000'000;
    const int64_t intervalNs = int64_t{timeouts_.readInterval} * 1'000'000;
    int got = 0;
    int64_t lastByteNs = 0;
    while (got < n) {
        int64_t deadline = totalDeadline;
        if (got > 0 && timeouts_.readInterval > 0)
            deadline = std::min(deadline, lastByteNs + intervalNs);
        short revents = 0;
        if (!WaitReady(fd_, POLLIN, deadline, revents))
            break;
        if (revents & POLLIN) {
            const ssize_t r = ::read(fd_, buffer + got, static_cast<size_t>(n - got));
            if (r > 0) {
                got += static_cast<int>(r);
                lastByteNs = MonotonicNs();
                NoteArrival(arrivals_, lastByteNs, r, characterNs_);
                continue;
            }
            if (r < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (r < 0)
                gone_ = gone_ || RemovedError(errno);
            if (r < 0 && got == 0)
                return -1;
        }
        // Hang-up or error with nothing to read: waiting longer cannot bring bytes, but a pty
        // whose other end went away reports that at once, so sleep out the time-out instead of
        // spinning, as a silent line would.
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // A terminal set to ignore the modem lines hangs up only when its device is gone.
            gone_ = true;
            DelayUntilNs(deadline);
            break;
        }
    }
    return got;
}

int PosixSerialPort::DropUntilQuiet(int quietMs, int limitMs) {
    if (fd_ < 0)
        return -1;
    const int64_t limit = MonotonicNs() + int64_t{std::max(0, limitMs)} * 1'000'000;
    const int64_t quietNs = int64_t{std::max(1, quietMs)} * 1'000'000;
    int dropped = 0;
    for (;;) {
        short revents = 0;
        if (!WaitReady(fd_, POLLIN, std::min(limit, MonotonicNs() + quietNs), revents) ||
            !(revents & POLLIN))
            break;
        uint8_t scratch[256];
        const ssize_t r = ::read(fd_, scratch, sizeof scratch);
        if (r > 0)
            dropped += static_cast<int>(r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return dropped;
}

} // namespace quarnex
