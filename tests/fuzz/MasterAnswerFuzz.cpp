// libFuzzer target for the master's answer handling, through an in-memory port: the input picks
// an operation, its options and the Retry/Cancel answers, and then gives the bytes the line holds
// for each attempt (optionally with their CRC made right, so the checks behind the CRC are
// reached). Whatever the bytes, a success must come from an attempt whose answer is, checked
// here independently, the answer to that very request, and the values handed out must be its
// values; the attempts must follow the options. A broken rule stops the run.
#include "FuzzRequire.h"
#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "sim/SimBus.h"
#include "support/ScriptedPrompter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

namespace {

using namespace quarnex;
using Bytes = std::vector<uint8_t>;

struct Line {
    std::deque<Bytes> attempts; // what the line holds after each request
    Bytes pending;
    std::vector<Bytes> requests;
    std::vector<Bytes> served; // the bytes each attempt was given
};

class MemoryPort : public SerialPort {
public:
    explicit MemoryPort(Line& line) : line_(line) {}
    bool Open(const std::string&, std::string&, int&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool SetTimeouts(const SerialTimeouts& t) override {
        t_ = t;
        return true;
    }
    bool GetTimeouts(SerialTimeouts& t) const override {
        t = t_;
        return true;
    }
    bool ApplyMode(const std::string&) override { return true; }
    bool Purge() override {
        line_.pending.clear();
        return true;
    }
    int Write(const uint8_t* data, int n) override {
        line_.requests.emplace_back(data, data + n);
        line_.pending.clear();
        if (!line_.attempts.empty()) {
            line_.pending = line_.attempts.front();
            line_.attempts.pop_front();
        }
        line_.served.push_back(line_.pending);
        return n;
    }
    int Read(uint8_t* buffer, int n) override {
        const int got = std::min<int>(n, static_cast<int>(line_.pending.size()));
        std::copy_n(line_.pending.begin(), got, buffer);
        line_.pending.erase(line_.pending.begin(), line_.pending.begin() + got);
        return got;
    }
    int DropUntilQuiet(int, int) override {
        const int n = static_cast<int>(line_.pending.size());
        line_.pending.clear();
        return n;
    }

private:
    Line& line_;
    SerialTimeouts t_{};
    bool open_ = false;
};

uint16_t Crc(const Bytes& b, size_t n) {
    return sim::Crc16(b.data(), n); // the simulator's own CRC, not the master's
}

// Is answer, as far as a good answer to request (with its CRC) reaches, that answer?
bool IsTheAnswerTo(const Bytes& request, const Bytes& answer) {
    const uint8_t function = request[1];
    const size_t n = function == 3 ? 5 + 2 * size_t(request[4] << 8 | request[5]) : 8;
    if (answer.size() < n || answer[0] != request[0] || answer[1] != function)
        return false;
    if (Crc(answer, n - 2) != (answer[n - 2] | answer[n - 1] << 8))
        return false;
    if (function == 3)
        return answer[2] == n - 5;
    return std::equal(request.begin() + 2, request.begin() + 6, answer.begin() + 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const uint8_t op = data[0] % 6, retries = data[1] & 3, boxAnswers = data[2];
    const bool showBox = data[1] & 4;
    const int count = 1 + data[3] % 4;
    size_t at = 4;
    Line line;
    while (at < size && line.attempts.size() < 16) {
        const size_t n = std::min<size_t>(data[at] & 0x3F, size - at - 1);
        const bool fixCrc = data[at] & 0x40;
        Bytes bytes(data + at + 1, data + at + 1 + n);
        at += 1 + n;
        if (fixCrc && bytes.size() >= 4) {
            const uint16_t crc = Crc(bytes, bytes.size() - 2);
            bytes[bytes.size() - 2] = static_cast<uint8_t>(crc);
            bytes[bytes.size() - 1] = static_cast<uint8_t>(crc >> 8);
        }
        line.attempts.push_back(std::move(bytes));
    }

    Profile profile;
    profile.WriteInt("Comm Param", "Baud", 115200); // the shortest silent interval
    ScriptedPrompter prompter;
    for (int i = 0; i < 8; ++i)
        prompter.Answer(boxAnswers >> i & 1);
    ModbusMaster master(profile, prompter, SettingsLinkFactory([&line] {
                            return std::make_unique<MemoryPort>(line);
                        }));
    Require(master.Open());

    const TransactionOptions options{.retries = retries, .showRetryBox = showBox};
    uint16_t words[4] = {0x1111, 0x2222, 0x3333, 0x4444}, got[4] = {};
    float floats[4] = {}, values[2] = {1.5f, -2.0f};
    CommStatus status = CommStatus::Ok;
    switch (op) {
    case 0:
        status = master.ReadHoldingRegisters(1, 40001, count, got, options);
        break;
    case 1:
        status = master.ReadFloatRegisters(1, 40101, std::min(count, 2), floats, options);
        break;
    case 2:
        status = master.WriteSingleRegister(1, 40007, 0xBEEF, options);
        break;
    case 3:
        status = master.WriteMultipleRegisters(1, 40011, count, words, options);
        break;
    case 4:
        status = master.WriteFloatRegisters(1, 40201, std::min(count, 2), values, options);
        break;
    default:
        status = master.WriteSingleCoil(1, 17, data[3] & 1, options);
        break;
    }

    // Attempts: at least one per box round, never more than the retries allow in one round.
    Require(!line.requests.empty() && line.requests.size() == line.served.size());
    Require(master.LastAttempts() >= 1 && master.LastAttempts() <= retries + 1);
    const size_t rounds = showBox ? prompter.Boxes().size() + 1 : 1;
    Require(line.requests.size() <= rounds * (retries + 1u));
    for (const Bytes& r : line.requests)
        Require(r == line.requests.front()); // every attempt sends the same request

    const Bytes request(line.requests.back().begin(), line.requests.back().end() - 2);
    const Bytes& answer = line.served.back();
    if (status == CommStatus::Ok) {
        Require(IsTheAnswerTo(request, answer));
        if (op == 0)
            for (int i = 0; i < count; ++i)
                Require(got[i] == (answer[3 + 2 * i] << 8 | answer[4 + 2 * i]));
        if (op == 1)
            for (int i = 0; i < std::min(count, 2); ++i) {
                uint32_t bits = uint32_t{answer[3 + 4 * i]} << 24 |
                                uint32_t{answer[4 + 4 * i]} << 16 |
                                uint32_t{answer[5 + 4 * i]} << 8 | answer[6 + 4 * i];
                Require(std::memcmp(&bits, &floats[i], 4) == 0);
            }
    } else {
        // A read that failed leaves the caller's values alone.
        for (uint16_t v : got)
            Require(v == 0);
        for (float f : floats)
            Require(f == 0.0f);
        if (IsException(status))
            Require(answer.size() >= 5 && answer[0] == 1 && answer[1] == (request[1] | 0x80) &&
                    Crc(answer, 3) == (answer[3] | answer[4] << 8));
        if (!IsRetryable(status) && !IsException(status))
            Require(false); // nothing else can end a transaction on an open port
    }
    return 0;
}
