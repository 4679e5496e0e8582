#include "sim/SimBus.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quarnex::sim {

namespace {

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

void SleepUntilNs(int64_t deadline) {
    timespec ts{static_cast<time_t>(deadline / 1'000'000'000),
                static_cast<long>(deadline % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

int SpeedToBaud(speed_t s) {
    switch (s) {
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 9600;
    }
}

// The length of a request frame with this function code, from the bytes so far: 0 while it
// cannot be told yet, -1 for a function whose length the bus does not know (framed by silence).
int ExpectedLength(const std::vector<uint8_t>& b) {
    if (b.size() < 2)
        return 0;
    switch (b[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        return 8;
    case 15:
    case 16:
        return b.size() < 7 ? 0 : 9 + b[6];
    case 23:
        return b.size() < 11 ? 0 : 13 + b[10];
    default:
        return -1;
    }
}

void PutCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

} // namespace

uint16_t Crc16(const uint8_t* data, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

SimBus::SimBus() = default;

SimBus::~SimBus() {
    Stop();
}

bool SimBus::Start(std::string& error, const std::string& linkPath) {
    if (running_)
        return true;
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Stop();
        return false;
    }
    char name[128];
    if (ptsname_r(masterFd_, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        Stop();
        return false;
    }
    devicePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        Stop();
        return false;
    }
    // A fresh pty is in canonical mode with echo; the line must be raw before any traffic.
    termios tio{};
    tcgetattr(slaveFd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(slaveFd_, TCSANOW, &tio);
    fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK);

    if (!linkPath.empty()) {
        // A link left by an earlier run is replaced; anything else at that path is the user's
        // and stays untouched.
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = "cannot link " + linkPath + ": it exists and is not a symbolic link";
                Stop();
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            error = "cannot link " + linkPath + ": " + std::strerror(errno);
            Stop();
            return false;
        }
        linkPath_ = linkPath;
    }
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        Stop();
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimBus::Stop() {
    if (running_) {
        running_ = false;
        const char c = 'q';
        [[maybe_unused]] ssize_t r = ::write(wakePipe_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    for (std::thread& t : netThreads_)
        if (t.joinable())
            t.join();
    netThreads_.clear();
    for (int fd : listenFds_)
        ::close(fd);
    listenFds_.clear();
    for (int* fd : {&masterFd_, &slaveFd_, &wakePipe_[0], &wakePipe_[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (!linkPath_.empty()) {
        struct stat st {};
        if (::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
}

void SimBus::Attach(int address, std::shared_ptr<SlaveModel> model) {
    std::lock_guard<std::mutex> lock(mutex_);
    models_[address] = std::move(model);
}

void SimBus::Detach(int address) {
    std::lock_guard<std::mutex> lock(mutex_);
    models_.erase(address);
}

std::shared_ptr<SlaveModel> SimBus::Model(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = models_.find(address);
    return it == models_.end() ? nullptr : it->second;
}

void SimBus::SetPacing(int baud) {
    pacing_ = baud;
}

int SimBus::PacingBaud() const {
    const int p = pacing_;
    if (p < 0)
        return 0;
    if (p > 0)
        return p;
    termios tio{};
    if (tcgetattr(slaveFd_, &tio) != 0)
        return 9600;
    return SpeedToBaud(cfgetospeed(&tio));
}

LineSettings SimBus::PortLine() const {
    termios tio{};
    if (tcgetattr(slaveFd_, &tio) != 0)
        return {};
    // A pseudo-terminal drops PARENB from what the master set; its parity check (INPCK) and
    // PARODD stay.
    const bool parity = (tio.c_cflag & PARENB) || (tio.c_iflag & INPCK);
    const char letter = !parity ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    return {SpeedToBaud(cfgetospeed(&tio)), letter};
}

void SimBus::SetLineSettings(int address, const LineSettings& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_[address] = line;
}

std::function<bool(const std::vector<uint8_t>&)> CoilWrite(int coil) {
    return [coil](const std::vector<uint8_t>& r) {
        return r.size() >= 4 && r[1] == 5 && ((r[2] << 8) | r[3]) == coil - 1;
    };
}

std::function<bool(const std::vector<uint8_t>&)> RegistersWrite(int reg) {
    return [reg](const std::vector<uint8_t>& r) {
        return r.size() >= 4 && r[1] == 16 && ((r[2] << 8) | r[3]) == reg - 40001;
    };
}

void SimBus::InjectFault(int address, const FaultSpec& injected) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[address].push_back(injected);
}

void SimBus::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void SimBus::SendRaw(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (masterFd_ >= 0 && !bytes.empty()) [[maybe_unused]]
        ssize_t r = ::write(masterFd_, bytes.data(), bytes.size());
}

std::vector<std::vector<uint8_t>> SimBus::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {log_.begin(), log_.end()};
}

void SimBus::SetRequestLogLimit(size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    logLimit_ = std::max<size_t>(limit, 1);
    while (log_.size() > logLimit_)
        log_.pop_front();
}

size_t SimBus::RequestCount(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = requestCounts_.find(address);
    return it == requestCounts_.end() ? 0 : it->second;
}

void SimBus::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    requestCounts_.clear();
}

size_t SimBus::DiscardedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return discarded_;
}

void SimBus::Run() {
    // The device paces the line by sleeping to each character's time: the default slack of a
    // sleep (50 us, which the kernel may add to let wake-ups coincide) would make every answer
    // late by up to half a character at 115200 baud, as no real device is.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<uint8_t> buffer;
    int64_t firstByteNs = 0, lastByteNs = 0;
    uint8_t chunk[512];
    while (running_) {
        // Between requests the line is idle; inside one, a silence of a few character times
        // ends a frame whose length the function code does not tell (and drops line noise).
        const int baud = PacingBaud();
        const int64_t gapNs = std::max<int64_t>(3'000'000, baud ? 35'000'000'000LL / baud : 0);
        int timeoutMs = -1;
        if (!buffer.empty())
            timeoutMs = static_cast<int>(
                std::max<int64_t>(0, (lastByteNs + gapNs - NowNs()) / 1'000'000 + 1));
        pollfd fds[2] = {{masterFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, timeoutMs);
        if (!running_ || (fds[1].revents & POLLIN))
            break;
        if (r > 0 && (fds[0].revents & POLLIN)) {
            const ssize_t n = ::read(masterFd_, chunk, sizeof chunk);
            if (n > 0) {
                if (buffer.empty())
                    firstByteNs = NowNs();
                lastByteNs = NowNs();
                buffer.insert(buffer.end(), chunk, chunk + n);
            }
        } else if (r > 0) {
            // Hang-up without a reader: nothing to do but wait for the program to come back.
            timespec ts{0, 10'000'000};
            nanosleep(&ts, nullptr);
        }

        const bool silent = !buffer.empty() && NowNs() >= lastByteNs + gapNs;
        const size_t dropped = TakeFrames(buffer, silent, [&](const std::vector<uint8_t>& frame) {
            HandleFrame(frame, firstByteNs);
            firstByteNs = NowNs();
        });
        if (dropped > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            discarded_ += dropped;
        }
    }
}

size_t SimBus::TakeFrames(std::vector<uint8_t>& buffer, bool lineSilent,
                          const std::function<void(const std::vector<uint8_t>&)>& handle) {
    // Take every complete frame from the front of the buffer.
    for (;;) {
        const int len = ExpectedLength(buffer);
        if (len <= 0 || static_cast<int>(buffer.size()) < len)
            break;
        std::vector<uint8_t> frame(buffer.begin(), buffer.begin() + len);
        const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
        if (frame[len - 2] != static_cast<uint8_t>(crc) ||
            frame[len - 1] != static_cast<uint8_t>(crc >> 8)) {
            // A corrupted frame: a real slave waits for the line to fall silent and starts
            // over, so everything received up to now is dropped.
            const size_t dropped = buffer.size();
            buffer.clear();
            return dropped;
        }
        buffer.erase(buffer.begin(), buffer.begin() + len);
        handle(frame);
    }
    if (buffer.empty() || !lineSilent)
        return 0;
    // Silence: whatever is left is one frame of a function whose length the bus does not
    // know, or noise. A function of known length that stopped short is a broken frame,
    // even when its last two bytes happen to form a valid CRC: it is never decoded.
    size_t dropped = 0;
    if (ExpectedLength(buffer) < 0 && buffer.size() >= 4 &&
        Crc16(buffer.data(), buffer.size() - 2) ==
            (buffer[buffer.size() - 2] | buffer[buffer.size() - 1] << 8))
        handle(buffer);
    else
        dropped = buffer.size();
    buffer.clear();
    return dropped;
}

bool SimBus::AnswerRequest(const std::vector<uint8_t>& frame, std::vector<uint8_t>& answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    int delayMs = 0;
    return frame.size() >= 4 && frame[0] != 0 && Answer(frame[0], frame, answer, delayMs);
}

bool SimBus::Answer(uint8_t address, const std::vector<uint8_t>& frame,
                    std::vector<uint8_t>& answer, int& delayMs) {
    // Called with the lock held.
    const auto it = models_.find(address);
    if (it == models_.end())
        return false;
    SlaveModel& model = *it->second;
    model.Advance(NowNs() / 1'000'000);
    const uint8_t function = frame[1];
    const size_t n = frame.size() - 2; // without the CRC
    auto reg = [&](size_t i) { return static_cast<uint16_t>(frame[i] << 8 | frame[i + 1]); };
    // The decoding below reads only inside the frame: a request shorter than its function needs
    // is dropped, as a real slave drops a broken frame.
    const size_t needed = function == 3 || function == 5 || function == 6 ? 6
                          : function == 16 ? (n >= 7 ? 7 + size_t{frame[6]} : 7)
                                           : 2;
    if (n < needed)
        return false;
    SlaveResult result;
    answer = {address, function};
    switch (function) {
    case 3: {
        const uint16_t start = reg(2), count = reg(4);
        if (count < 1 || count > 125) {
            result.exception = 3;
            break;
        }
        std::vector<uint16_t> values(count, 0);
        result = model.ReadHoldingRegisters(start, count, values.data());
        answer.push_back(static_cast<uint8_t>(2 * count));
        for (uint16_t v : values) {
            answer.push_back(static_cast<uint8_t>(v >> 8));
            answer.push_back(static_cast<uint8_t>(v));
        }
        break;
    }
    case 5: {
        const uint16_t value = reg(4);
        if (value != 0xFF00 && value != 0x0000) {
            result.exception = 3;
            break;
        }
        result = model.WriteCoil(reg(2), value == 0xFF00);
        answer.assign(frame.begin(), frame.begin() + 6);
        break;
    }
    case 6: {
        const uint16_t value = reg(4);
        result = model.WriteRegisters(reg(2), &value, 1, true);
        answer.assign(frame.begin(), frame.begin() + 6);
        break;
    }
    case 16: {
        const uint16_t start = reg(2), count = reg(4);
        if (count < 1 || count > 123 || frame[6] != 2 * count) {
            result.exception = 3;
            break;
        }
        std::vector<uint16_t> values(count);
        for (uint16_t i = 0; i < count; ++i)
            values[i] = reg(7 + 2 * i);
        result = model.WriteRegisters(start, values.data(), count, false);
        answer.assign(frame.begin(), frame.begin() + 6);
        break;
    }
    default: {
        std::vector<uint8_t> data(frame.begin() + 2, frame.begin() + static_cast<long>(n)), out;
        result = model.OtherFunction(function, data, out);
        answer.insert(answer.end(), out.begin(), out.end());
        break;
    }
    }
    // A device given a new address answers this request from the old one and listens at the
    // new one from then on (unless another device sits there already).
    if (const int moveTo = model.TakeAddressChange();
        moveTo >= 1 && moveTo <= 247 && moveTo != address && models_.count(moveTo) == 0) {
        auto moved = it->second;
        models_.erase(address);
        models_[moveTo] = std::move(moved);
    }
    if (result.silent)
        return false;
    if (result.exception != 0)
        answer = {address, static_cast<uint8_t>(function | 0x80), result.exception};
    delayMs = result.delayMs;
    PutCrc(answer);
    return true;
}

void SimBus::HandleFrame(const std::vector<uint8_t>& frame, int64_t firstByteNs) {
    std::vector<uint8_t> answer;
    int lateMs = 0, lateSplit = 0;
    FaultSpec fault;
    bool faulty = false;
    LineSettings own;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = lines_.find(frame[0]); it != lines_.end())
            own = it->second;
    }
    bool garbled = false;
    if (own.baud != 0) {
        const LineSettings port = PortLine();
        // At another baud rate the instrument hears no frame at all.
        if (port.baud != own.baud)
            return;
        garbled = port.parity != own.parity;
    }
    if (!Respond(frame, firstByteNs, true, answer, lateMs, lateSplit, fault, faulty))
        return;
    if (garbled) {
        // The parity bit lands where the master's UART expects data or a stop bit: the bytes
        // arrive, but not as sent, and the check fails.
        for (size_t i = 0; i < answer.size(); i += 2)
            answer[i] ^= 0x80;
    }
    WriteAnswer(answer, lateMs, lateSplit);
}

bool SimBus::Respond(const std::vector<uint8_t>& frame, int64_t firstByteNs, bool paced,
                     std::vector<uint8_t>& answer, int& lateMs, int& lateSplit, FaultSpec& fault,
                     bool& faulty) {
    int delayMs = 0;
    faulty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (!log_.empty() && log_.size() >= logLimit_)
            log_.pop_front();
        log_.push_back(frame);
        ++requestCounts_[frame[0]];
        const uint8_t address = frame[0];
        if (address == 0 || !Answer(address, frame, answer, delayMs))
            return false;
        for (int key : {static_cast<int>(address), 0}) {
            auto it = faults_.find(key);
            if (it == faults_.end() || it->second.empty())
                continue;
            auto due = std::find_if(it->second.begin(), it->second.end(),
                                    [&](const FaultSpec& f) { return !f.when || f.when(frame); });
            if (due == it->second.end())
                continue;
            fault = *due;
            faulty = true;
            if (--due->count <= 0)
                it->second.erase(due);
            break;
        }
    }
    const int baud = paced ? PacingBaud() : 0;
    if (baud > 0) // the request is not in until its last byte has crossed the line
        SleepUntilNs(firstByteNs + static_cast<int64_t>(frame.size()) * 11'000'000'000LL / baud);
    if (delayMs > 0)
        SleepUntilNs(NowNs() + int64_t{delayMs} * 1'000'000);

    lateMs = lateSplit = 0;
    if (faulty) {
        switch (fault.kind) {
        case Fault::Silence:
        case Fault::Disconnect:
            return fault.kind == Fault::Disconnect && !paced;
        case Fault::BadCrc:
            std::swap(answer[answer.size() - 1], answer[answer.size() - 2]);
            if (answer[answer.size() - 1] == answer[answer.size() - 2])
                answer.back() ^= 0xFF;
            break;
        case Fault::WrongAddress:
            answer.resize(answer.size() - 2);
            answer[0] = static_cast<uint8_t>(answer[0] + 1);
            PutCrc(answer);
            break;
        case Fault::WrongFunction:
            answer.resize(answer.size() - 2);
            answer[1] = static_cast<uint8_t>((answer[1] & 0x7F) == 0x11 ? 0x12 : 0x11);
            PutCrc(answer);
            break;
        case Fault::ShortAnswer:
            answer.resize(answer.size() > 3 ? answer.size() - 3 : 1);
            break;
        case Fault::ExtraBytes:
            answer.insert(answer.end(), {0x55, 0xAA, 0x55});
            break;
        case Fault::LateBytes:
            lateMs = fault.lateMs;
            lateSplit = static_cast<int>(answer.size() / 2);
            break;
        case Fault::Garbage:
            for (size_t i = 0; i < answer.size(); ++i)
                answer[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
            break;
        case Fault::Exception:
            answer = {frame[0], static_cast<uint8_t>(frame[1] | 0x80), fault.exceptionCode};
            PutCrc(answer);
            break;
        case Fault::WrongByteCount:
            answer.resize(answer.size() - 2);
            if (answer.size() > 2)
                answer[2] = static_cast<uint8_t>(answer[2] - 2);
            PutCrc(answer);
            break;
        case Fault::WrongEcho:
            answer.resize(answer.size() - 2);
            if (answer.size() > 3)
                answer[3] = static_cast<uint8_t>(answer[3] + 1);
            PutCrc(answer);
            break;
        case Fault::WrongTransaction:
        case Fault::WrongProtocol:
            break; // the network server changes the header
        }
    }
    return true;
}

void SimBus::DropRequestsWhileAnswering() {
    // RS-485 is half-duplex: while the device drives the line it hears nothing, so a request sent
    // during its answer is lost (on a real line both would be garbled). Done before the answer's
    // last byte, which the program needs before it may send again: whatever came until then was
    // sent over the answer.
    uint8_t chunk[256];
    size_t dropped = 0;
    for (ssize_t n; (n = ::read(masterFd_, chunk, sizeof chunk)) > 0;)
        dropped += static_cast<size_t>(n);
    if (dropped > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        discarded_ += dropped;
    }
}

void SimBus::WriteAnswer(const std::vector<uint8_t>& bytes, int lateMs, int lateSplit) {
    const int baud = PacingBaud();
    const int64_t charNs = baud > 0 ? 11'000'000'000LL / baud : 0;
    int64_t start = NowNs();
    for (size_t i = 0; i < bytes.size();) {
        size_t end = bytes.size();
        if (lateMs > 0 && i < static_cast<size_t>(lateSplit))
            end = static_cast<size_t>(lateSplit);
        if (charNs > 0) {
            // One character at a time, each leaving when the previous one has crossed the line.
            SleepUntilNs(start + static_cast<int64_t>(i + 1) * charNs);
            end = i + 1;
        }
        if (end == bytes.size())
            DropRequestsWhileAnswering();
        while (i < end) {
            const ssize_t w = ::write(masterFd_, bytes.data() + i, end - i);
            if (w <= 0) {
                if (w < 0 && errno == EAGAIN) {
                    pollfd p{masterFd_, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                    continue;
                }
                return;
            }
            i += static_cast<size_t>(w);
        }
        if (lateMs > 0 && i == static_cast<size_t>(lateSplit)) {
            SleepUntilNs(NowNs() + int64_t{lateMs} * 1'000'000);
            start = NowNs() - static_cast<int64_t>(i) * charNs;
        }
    }
}

int SimBus::ServeNetwork(NetKind kind, const std::string& host, int port, std::string& error) {
    if (!running_) {
        error = "the bus is not running";
        return 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int e = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); e != 0) {
        error = "cannot use address " + host + ": " + ::gai_strerror(e);
        return 0;
    }
    int fd = -1;
    error = "cannot listen on " + host + ":" + service;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            error += std::string(": ") + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return 0;
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    const int listening =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listenFds_.push_back(fd);
    netThreads_.emplace_back([this, kind, fd] { ServeClients(kind, fd); });
    error.clear();
    return listening;
}

void SimBus::ServeClients(NetKind kind, int listenFd) {
    while (running_) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (!running_ || (fds[1].revents & POLLIN))
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ServeClient(kind, client);
        ::close(client);
    }
}

namespace {

// Sends bytes, the part from split on only after lateMs (a gateway that stalls mid-answer).
bool SendAnswer(int fd, const std::vector<uint8_t>& bytes, int lateMs, size_t split) {
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t end = lateMs > 0 && i < split ? split : bytes.size();
        while (i < end) {
            const ssize_t w = ::send(fd, bytes.data() + i, end - i, MSG_NOSIGNAL);
            if (w <= 0)
                return false;
            i += static_cast<size_t>(w);
        }
        if (lateMs > 0 && i == split)
            SleepUntilNs(NowNs() + int64_t{lateMs} * 1'000'000);
    }
    return true;
}

} // namespace

void SimBus::ServeClient(NetKind kind, int fd) {
    std::vector<uint8_t> buffer;
    uint8_t chunk[512];
    int64_t lastByteNs = 0;
    while (running_) {
        int timeoutMs = -1;
        if (kind == NetKind::RtuOverTcp && !buffer.empty())
            timeoutMs = static_cast<int>(
                std::max<int64_t>(0, (lastByteNs + 3'000'000 - NowNs()) / 1'000'000 + 1));
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, timeoutMs);
        if (!running_ || (fds[1].revents & POLLIN))
            return;
        if (r > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return; // the client went away: take the next one
            buffer.insert(buffer.end(), chunk, chunk + n);
            lastByteNs = NowNs();
        }
        bool drop = false;
        auto answer = [&](const std::vector<uint8_t>& frame, uint16_t transaction) {
            std::vector<uint8_t> reply;
            int lateMs = 0, lateSplit = 0;
            FaultSpec fault;
            bool faulty = false;
            if (drop)
                return;
            const int modelDelayMs = kind == NetKind::ModbusTcp ? gatewayDelayMs_.load() : 0;
            // The gateway's own serial line: 11 bits a character at its baud rate.
            const int64_t lineCharNs = 11'000'000'000LL / std::max(1, gatewayBaud_.load());
            int64_t onLineNs = NowNs();
            if (modelDelayMs > 0) {
                onLineNs += static_cast<int64_t>(frame.size()) * lineCharNs;
                SleepUntilNs(onLineNs);
            }
            const bool answered =
                Respond(frame, NowNs(), false, reply, lateMs, lateSplit, fault, faulty);
            if (answered && modelDelayMs > 0 && !(faulty && fault.kind == Fault::Disconnect))
                SleepUntilNs(NowNs() + static_cast<int64_t>(reply.size()) * lineCharNs);
            if (!answered) {
                const uint8_t code = modelDelayMs > 0 && gatewayException_ == 0
                                         ? uint8_t{0x0B}
                                         : gatewayException_.load();
                if (kind != NetKind::ModbusTcp || code == 0 || frame.size() < 2 || frame[0] == 0)
                    return;
                // The gateway waits its target time-out before it gives up on the address.
                if (modelDelayMs > 0)
                    SleepUntilNs(onLineNs + int64_t{modelDelayMs} * 1'000'000);
                // A gateway whose target stays silent says so instead of staying silent itself.
                reply = {frame[0], static_cast<uint8_t>(frame[1] | 0x80), code};
                PutCrc(reply);
            }
            if (faulty && fault.kind == Fault::Disconnect) {
                drop = true;
                return;
            }
            if (kind == NetKind::ModbusTcp) {
                // A gateway checks the slave's answer: one it cannot take stays unanswered.
                if (reply.size() < 4 ||
                    Crc16(reply.data(), reply.size() - 2) !=
                        (reply[reply.size() - 2] | reply[reply.size() - 1] << 8))
                    return;
                if (faulty && fault.kind == Fault::WrongTransaction)
                    transaction = static_cast<uint16_t>(transaction + 1);
                const size_t following = reply.size() - 2;
                std::vector<uint8_t> adu{
                    static_cast<uint8_t>(transaction >> 8),
                    static_cast<uint8_t>(transaction),
                    0,
                    static_cast<uint8_t>(faulty && fault.kind == Fault::WrongProtocol ? 1 : 0),
                    static_cast<uint8_t>(following >> 8),
                    static_cast<uint8_t>(following)};
                adu.insert(adu.end(), reply.begin(), reply.end() - 2);
                reply = std::move(adu);
                lateSplit = static_cast<int>(reply.size() / 2);
            }
            if (!SendAnswer(fd, reply, lateMs, static_cast<size_t>(lateSplit)))
                drop = true;
        };
        if (kind == NetKind::RtuOverTcp) {
            const bool silent = !buffer.empty() && NowNs() >= lastByteNs + 3'000'000;
            const size_t dropped = TakeFrames(
                buffer, silent, [&](const std::vector<uint8_t>& frame) { answer(frame, 0); });
            if (dropped > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                discarded_ += dropped;
            }
        } else {
            // MBAP frames: the header tells the length; the unit id is the address.
            while (buffer.size() >= 7) {
                const size_t following = size_t{buffer[4]} << 8 | buffer[5];
                if ((buffer[2] | buffer[3]) != 0 || following < 2 || following > 254)
                    return; // no Modbus TCP client: hang up
                if (buffer.size() < 6 + following)
                    break;
                std::vector<uint8_t> frame(buffer.begin() + 6, buffer.begin() + 6 + following);
                PutCrc(frame);
                const uint16_t transaction = static_cast<uint16_t>(buffer[0] << 8 | buffer[1]);
                buffer.erase(buffer.begin(), buffer.begin() + 6 + static_cast<long>(following));
                answer(frame, transaction);
            }
        }
        if (drop)
            return;
    }
}

} // namespace quarnex::sim
