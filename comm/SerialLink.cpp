#include "comm/SerialLink.h"

#include "comm/CommSettings.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "res/LinksTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace quarnex {

namespace {

constexpr BaudTiming kTimings[] = {
    {300, 160, 50, 200}, {600, 80, 25, 100}, {1200, 40, 14, 50}, {2400, 20, 7, 30},
    {4800, 10, 4, 15},   {9600, 5, 2, 7},    {19200, 3, 1, 4},   {38400, 2, 1, 3},
    {57600, 1, 1, 2},    {115200, 1, 1, 2},
};

// A receive time-out of base + additional + margin. The additional receive timeout comes from the
// profile unchecked, so the sum may not fit an int; it saturates instead of wrapping round to a
// negative time-out (or overflowing, which is undefined).
int ReceiveTimeout(int baseMs, int additionalMs, int marginMs) {
    const long long sum = static_cast<long long>(baseMs) + additionalMs + marginMs;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}

} // namespace

const BaudTiming& SerialLink::TimingFor(int baud) {
    for (const BaudTiming& t : kTimings)
        if (t.baud == baud)
            return t;
    return kTimings[5]; // 9600
}

SerialLink::SerialLink(const CommSettings& settings, Prompter& prompter, PortFactory factory)
    : settings_(settings), prompter_(prompter), factory_(std::move(factory)),
      timing_(TimingFor(settings.BaudRate())),
      additionalReceiveTimeout_(settings.AdditionalReceiveTimeout()) {
    if (!factory_)
        factory_ = [] { return std::make_unique<PosixSerialPort>(); };
    timerOk_ = ClockResolvesMillisecond();
    if (!timerOk_)
        prompter_.Error(Text(ids::kCannotInitTimer));
}

SerialLink::~SerialLink() {
    Close();
}

bool SerialLink::IsOpen() const {
    return PortOpen() || removed_;
}

void SerialLink::Close() {
    if (port_)
        port_->Close();
    port_.reset();
    removed_ = false;
}

std::string SerialLink::Configure() {
    SerialTimeouts t;
    t.readInterval = kReadIntervalMs;
    t.readTotalMultiplier = timing_.byteTimeMs;
    t.readTotalConstant =
        ReceiveTimeout(timing_.receiveBaseMs, additionalReceiveTimeout_, kReceiveMarginMs);
    t.writeTotalMultiplier = timing_.byteTimeMs;
    t.writeTotalConstant = kWriteTotalConstantMs;
    if (!port_->SetTimeouts(t) || !port_->ApplyMode(modeString_))
        return Text(ids::kCannotInitPort);
    if (const Rs485Mode& rs485 = settings_.Rs485(); rs485.on) {
        // A driver without the mode would leave the line driver as it is: every request would
        // go nowhere (or every answer be shouted down), so the refusal is said, never ignored.
        std::string why;
        if (!port_->SetRs485(rs485.delayBeforeMs, rs485.delayAfterMs, why))
            return FormatText(Text(ids::kRs485Refused),
                              {portName_ + " (" + devicePath_ + ")", why});
    }
    return {};
}

bool SerialLink::Open() {
    const int baud = settings_.BaudRate();
    additionalReceiveTimeout_ = settings_.AdditionalReceiveTimeout();
    Close();
    times_ = {};
    lineSeenNs_ = 0;
    events_.clear();

    char buf[64];
    std::snprintf(buf, sizeof buf, "COM%d", settings_.PortNumber());
    portName_ = buf;
    std::snprintf(buf, sizeof buf, "baud=%d parity=%c data=8 stop=%d", baud,
                  settings_.ParityLetter(), settings_.StopBits());
    modeString_ = buf;
    devicePath_ = settings_.DevicePath();

    auto port = factory_();
    std::string reason;
    int error = 0;
    if (!port->Open(devicePath_, reason, error)) {
        std::string text =
            Text(ids::kCannotOpenPort) + "\n" + portName_ + " (" + devicePath_ + "): " + reason;
        if (error == EACCES)
            text += "\n" + Text(ids::kJoinDialoutHint);
        prompter_.Error(text);
        return false;
    }
    port_ = std::move(port);

    timing_ = TimingFor(baud);
    // The port stays open as far as it got; the next Open or the destruction closes it.
    if (const std::string problem = Configure(); !problem.empty()) {
        prompter_.Error(problem);
        return false;
    }
    Purge();
    lineSeenNs_ = 0;
    return true;
}

void SerialLink::CheckRemoved() {
    if (removed_ || !port_ || !port_->DeviceGone())
        return;
    port_->Close();
    port_.reset();
    removed_ = true;
    reopenAtNs_ = MonotonicNs() + int64_t{kReopenPeriodMs} * 1'000'000;
    events_.push_back(
        FormatText(Text(ids::kDeviceRemoved), {portName_ + " (" + devicePath_ + ")"}));
}

void SerialLink::TryReopen() {
    const int64_t now = MonotonicNs();
    if (now < reopenAtNs_)
        return;
    reopenAtNs_ = now + int64_t{kReopenPeriodMs} * 1'000'000;
    // Quietly: the device not being there yet is what is expected; it is asked again later.
    auto port = factory_();
    std::string reason;
    int error = 0;
    if (!port->Open(devicePath_, reason, error))
        return;
    port_ = std::move(port);
    if (!Configure().empty()) {
        port_->Close();
        port_.reset();
        return;
    }
    removed_ = false;
    Purge();
    lineSeenNs_ = 0;
    events_.push_back(FormatText(Text(ids::kDeviceBack), {portName_ + " (" + devicePath_ + ")"}));
}

std::string SerialLink::AnswerHint() const {
    return removed_ ? FormatText(Text(ids::kDeviceRemoved), {portName_ + " (" + devicePath_ + ")"})
                    : std::string();
}

std::vector<std::string> SerialLink::TakeLinkEvents() {
    std::vector<std::string> out;
    out.swap(events_);
    return out;
}

SerialTimeouts SerialLink::Timeouts() const {
    SerialTimeouts t{};
    if (PortOpen())
        port_->GetTimeouts(t);
    return t;
}

bool SerialLink::SetReceiveMargin(int ms) {
    SerialTimeouts t;
    if (!PortOpen() || !port_->GetTimeouts(t))
        return false;
    t.readTotalConstant = ReceiveTimeout(timing_.receiveBaseMs, additionalReceiveTimeout_, ms);
    return port_->SetTimeouts(t);
}

int SerialLink::DefaultReceiveTimeout() const {
    return ReceiveTimeout(timing_.receiveBaseMs, additionalReceiveTimeout_, kReceiveMarginMs);
}

int SerialLink::PollTimeout() const {
    return ReceiveTimeout(timing_.receiveBaseMs, additionalReceiveTimeout_, kPollMarginMs);
}

void SerialLink::PrepareRequest() {
    if (removed_) {
        TryReopen();
        if (removed_)
            return;
    }
    // The silence before a request is a silence on the line: it runs from the last byte seen
    // there, so the time spent on the answer since then counts. A line not seen since the open
    // gets the whole delay from now.
    const ByteArrivals seen = PortOpen() ? port_->Arrivals() : ByteArrivals{};
    int64_t quietSinceNs = std::max(lineSeenNs_, seen.bytes > 0 ? seen.lastNs : 0);
    if (quietSinceNs <= 0)
        quietSinceNs = MonotonicNs();
    DelayUntilNs(quietSinceNs + int64_t{timing_.interFrameDelayMs} * 1'000'000);
    // Bytes waiting now came after the last answer was given up: a late answer, or line noise.
    // They are dropped, and as the line was not silent, the request waits for the silence between
    // two frames after the last of them (a late answer still coming in would otherwise meet the
    // request on the line, and its rest be read as the start of the next answer). At most for a
    // receive time-out: a line that never falls silent gets the request all the same.
    if (PortOpen() && port_->InputWaiting() > 0) {
        const int quietMs = std::max(timing_.interFrameDelayMs, QuietTime());
        const int limitMs = DefaultReceiveTimeout();
        const int64_t startNs = MonotonicNs();
        if (port_->DropUntilQuiet(quietMs, limitMs) > 0) {
            // Ended by the quiet time: the last byte came that long ago, and the silence before
            // the request counts from it. Ended by the limit: the line was talking until now.
            const int64_t nowNs = MonotonicNs();
            lineSeenNs_ = nowNs - startNs < int64_t{limitMs} * 1'000'000
                              ? nowNs - int64_t{quietMs} * 1'000'000
                              : nowNs;
            DelayUntilNs(lineSeenNs_ + int64_t{timing_.interFrameDelayMs} * 1'000'000);
        }
    }
    Purge();
}

void SerialLink::Delay(int ms) {
    quarnex::Delay(ms);
}

bool SerialLink::Purge() {
    return PortOpen() && port_->Purge();
}

int SerialLink::Write(const uint8_t* data, int n) {
    if (removed_)
        return n; // held back: the device is away, the request goes unanswered
    if (!PortOpen())
        return -1;
    // The arrivals are noted always: the next request's silence is timed from them.
    const ByteArrivals before = port_->Arrivals();
    if (before.bytes > 0)
        lineSeenNs_ = std::max(lineSeenNs_, before.lastNs);
    times_.requestStartNs = MonotonicNs();
    times_.gapNs = lineSeenNs_ > 0 ? times_.requestStartNs - lineSeenNs_ : -1;
    port_->ResetArrivals(CharacterNs());
    const int written = port_->Write(data, n);
    times_.requestEndNs = MonotonicNs();
    lineSeenNs_ = times_.requestEndNs;
    if (written != n) {
        CheckRemoved();
        if (removed_)
            return n;
    }
    return written;
}

LineTimes SerialLink::Times() const {
    LineTimes t = times_;
    t.characterNs = CharacterNs();
    if (PortOpen())
        t.answer = port_->Arrivals();
    return t;
}

int64_t SerialLink::CharacterNs() const {
    const int bits = 1 + 8 + (settings_.ParityLetter() != 'N' ? 1 : 0) + settings_.StopBits();
    return int64_t{bits} * 1'000'000'000 / std::max(1, timing_.baud);
}

int SerialLink::Read(uint8_t* buffer, int n) {
    if (removed_)
        return 0;
    if (!PortOpen())
        return -1;
    const int got = port_->Read(buffer, n);
    if (got < n)
        CheckRemoved();
    return removed_ ? 0 : got;
}

int SerialLink::QuietTime() const {
    return std::max(kQuietFloorMs, 4 * timing_.byteTimeMs);
}

int SerialLink::LetLineGoQuiet(int marginMs) {
    if (!PortOpen())
        return 0;
    const int limit = ReceiveTimeout(timing_.receiveBaseMs, additionalReceiveTimeout_, marginMs);
    const int dropped = port_->DropUntilQuiet(QuietTime(), limit);
    if (dropped > 0) // the last of them came at most now
        lineSeenNs_ = MonotonicNs();
    return dropped;
}

} // namespace quarnex
