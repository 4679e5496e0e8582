// The transaction against an in-memory port that answers from a script and logs every step the
// master takes on it, so the order of the steps and the time-out in force at each read can be
// checked exactly, and answers the simulator would never send can be fed in.
#include "comm/ModbusMaster.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "support/BusFixture.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Script {
    std::deque<Bytes> answers; // one per written request; none left means a silent line
    Bytes pending;             // what the line holds for the reads of this attempt
    std::vector<std::string> log;
    SerialTimeouts timeouts{};
    bool failWrites = false;
    std::vector<int64_t> writeNs;      // when each request started out
    std::vector<int64_t> lastAnswerNs; // when the last answer byte of each request came in
};

class ScriptedPort : public SerialPort {
public:
    explicit ScriptedPort(std::shared_ptr<Script> script) : s_(std::move(script)) {}
    bool Open(const std::string&, std::string&, int&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool SetTimeouts(const SerialTimeouts& t) override {
        s_->timeouts = t;
        return true;
    }
    bool GetTimeouts(SerialTimeouts& t) const override {
        t = s_->timeouts;
        return true;
    }
    bool ApplyMode(const std::string&) override { return true; }
    bool Purge() override {
        s_->log.push_back("purge");
        s_->pending.clear();
        return true;
    }
    int Write(const uint8_t*, int n) override {
        s_->log.push_back("write");
        s_->writeNs.push_back(MonotonicNs());
        if (s_->failWrites)
            return n - 1;
        if (!s_->answers.empty()) {
            s_->pending = s_->answers.front();
            s_->answers.pop_front();
        }
        return n;
    }
    int Read(uint8_t* buffer, int n) override {
        s_->log.push_back("read " + std::to_string(n) + " within " +
                          std::to_string(s_->timeouts.readTotalConstant));
        const int got = std::min<int>(n, static_cast<int>(s_->pending.size()));
        std::copy_n(s_->pending.begin(), got, buffer);
        s_->pending.erase(s_->pending.begin(), s_->pending.begin() + got);
        if (got > 0) {
            arrivals_.lastNs = MonotonicNs();
            arrivals_.bytes += got;
            s_->lastAnswerNs.resize(s_->writeNs.size());
            s_->lastAnswerNs.back() = arrivals_.lastNs;
        }
        return got;
    }
    void ResetArrivals(int64_t) override { arrivals_ = {}; }
    ByteArrivals Arrivals() const override { return arrivals_; }
    int DropUntilQuiet(int quietMs, int limitMs) override {
        s_->log.push_back("quiet " + std::to_string(quietMs) + " within " +
                          std::to_string(limitMs));
        const int dropped = static_cast<int>(s_->pending.size());
        s_->pending.clear();
        return dropped;
    }

private:
    std::shared_ptr<Script> s_;
    bool open_ = false;
    ByteArrivals arrivals_;
};

class TransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        profile_.WriteInt("Comm Param", "Baud", 9600); // receive base 7 ms
        master_ = std::make_unique<ModbusMaster>(
            profile_, prompter_,
            SettingsLinkFactory([s = script_] { return std::make_unique<ScriptedPort>(s); }));
        ASSERT_TRUE(master_->Open());
        script_->log.clear();
    }
    // A correct answer: the bytes given plus their CRC.
    static Bytes Framed(Bytes bytes) {
        modbus::AppendCrc(bytes);
        return bytes;
    }
    void Answer(const Bytes& frame, int times = 1) {
        for (int i = 0; i < times; ++i)
            script_->answers.push_back(frame);
    }

    std::shared_ptr<Script> script_ = std::make_shared<Script>();
    Profile profile_;
    ScriptedPrompter prompter_;
    std::unique_ptr<ModbusMaster> master_;
};

// The silence before a request is the inter-frame delay counted from the last answer byte: never
// shorter, whether the caller asks again at once or after work of its own (which then counts as
// part of the silence). The figures of how little it adds live in bench/.
TEST_F(TransactionTest, SilenceBeforeARequestIsNeverBelowTheGapFromTheLastAnswerByte) {
    Answer(Framed({0x01, 0x03, 0x02, 0x12, 0x34}), 12);
    uint16_t value = 0;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::Ok);
        if (i % 3 == 2)
            Delay(2); // a caller deciding for a while: less than the 5 ms gap at 9600
    }
    ASSERT_EQ(script_->writeNs.size(), 12u);
    ASSERT_EQ(script_->lastAnswerNs.size(), 12u);
    const int64_t gapNs = int64_t{SerialOf(*master_).InterFrameDelay()} * 1'000'000;
    for (size_t i = 1; i < script_->writeNs.size(); ++i)
        EXPECT_GE(script_->writeNs[i] - script_->lastAnswerNs[i - 1], gapNs) << i;
}

// The extra time-out is in force for both reads of an attempt and only for them: it is set after
// the request went out and the usual 400 ms margin is back before the next attempt's purge.
TEST_F(TransactionTest, ExtraTimeoutCoversExactlyTheReadsOfEachAttempt) {
    Answer(Framed({0x01, 0x03, 0x02})); // short: the second read comes up empty
    Answer(Framed({0x01, 0x03, 0x02, 0x12, 0x34}));
    uint16_t value = 0;
    EXPECT_EQ(
        master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 1, .extraTimeout = 37}),
        CommStatus::Ok);
    EXPECT_EQ(value, 0x1234);
    const std::vector<std::string> attempt = {"purge", "write", "read 5 within 44",
                                              "read 2 within 44"};
    // The failed attempt lets the line go quiet, within that attempt's own time-out.
    std::vector<std::string> expected = attempt;
    expected.push_back("quiet 10 within 44");
    expected.insert(expected.end(), attempt.begin(), attempt.end());
    EXPECT_EQ(script_->log, expected);
    EXPECT_EQ(SerialOf(*master_).Timeouts().readTotalConstant, 407);

    // Without an extra time-out the reads run on the margin set at the open.
    script_->log.clear();
    Answer(Framed({0x01, 0x05, 0x00, 0x06, 0xFF, 0x00}));
    EXPECT_EQ(master_->WriteSingleCoil(1, 7, true), CommStatus::Ok);
    EXPECT_EQ(script_->log, (std::vector<std::string>{"purge", "write", "read 5 within 407",
                                                      "read 3 within 407"}));

    // A failed write ends the transaction before any read and leaves the margin alone.
    script_->log.clear();
    script_->failWrites = true;
    EXPECT_EQ(master_->WriteSingleCoil(1, 7, true,
                                       {.retries = 3, .extraTimeout = 37, .showRetryBox = true}),
              CommStatus::TransmitError);
    EXPECT_EQ(script_->log, (std::vector<std::string>{"purge", "write"}));
    EXPECT_EQ(SerialOf(*master_).Timeouts().readTotalConstant, 407);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// Which failure wins when an answer is wrong in more than one way.
TEST_F(TransactionTest, StatusOfMalformedAnswers) {
    struct Case {
        const char* what;
        Bytes answer;
        CommStatus expected;
    };
    using enum CommStatus;
    Bytes swapped = Framed({0x01, 0x83, 0x02});
    std::swap(swapped[3], swapped[4]);
    const Case cases[] = {
        {"nothing at all", {}, NoResponse},
        {"two bytes", {0x01, 0x03}, ReceiveError},
        {"exception with a bad CRC", swapped, ChecksumError},
        {"exception from another address", Framed({0x02, 0x83, 0x02}), ReceiveError},
        {"exception of another function", Framed({0x01, 0x86, 0x02}), ReceiveError},
        {"exception code 0", Framed({0x01, 0x83, 0x00}), OtherException},
        {"byte count one register short", Framed({0x01, 0x03, 0x02, 0x00, 0x01, 0x00, 0x00}),
         ReceiveError},
        {"byte count one register long", Framed({0x01, 0x03, 0x06, 0x00, 0x01, 0x00, 0x02}),
         ReceiveError},
    };
    for (const Case& c : cases) {
        Answer(c.answer);
        uint16_t values[2] = {7, 7};
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), c.expected) << c.what;
        EXPECT_EQ(values[0], 7) << c.what;
        EXPECT_EQ(master_->LastAttempts(), 1) << c.what;
    }
}

// A read answer with a wrong byte count but a correct CRC is a receive error like any other:
// repeated as asked and then offered in the Retry/Cancel box, never passed over in silence.
TEST_F(TransactionTest, WrongByteCountIsRetriedAndOffered) {
    const Bytes wrongCount = Framed({0x01, 0x03, 0x02, 0x00, 0x2A, 0x00, 0x00});
    Answer(wrongCount, 3);
    prompter_.Answer(true); // Retry
    Answer(Framed({0x01, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x2B}));
    uint16_t values[2] = {};
    EXPECT_EQ(
        master_->ReadHoldingRegisters(1, 40001, 2, values, {.retries = 2, .showRetryBox = true}),
        CommStatus::Ok);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"COMMUNICATION ERROR\nReceive error"});
    EXPECT_EQ(values[1], 0x2B);
    EXPECT_EQ(master_->LastAttempts(), 1);

    // The same for floats, whose answers carry four bytes per value.
    Answer(Framed({0x01, 0x03, 0x04, 0x3F, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), 2);
    float floats[2] = {};
    EXPECT_EQ(master_->ReadFloatRegisters(1, 40001, 2, floats, {.retries = 1}),
              CommStatus::ReceiveError);
    EXPECT_EQ(master_->LastAttempts(), 2);
    EXPECT_EQ(floats[0], 0.0f);
}

// A write is only done when the instrument echoes what was sent: an echo naming another
// register, value, coil state or count is a receive error, repeated and offered like any other.
TEST_F(TransactionTest, WriteEchoMustMatchTheRequest) {
    // Function 6 to 40002 with 7; the first answer names 40003.
    Answer(Framed({0x01, 0x06, 0x00, 0x02, 0x00, 0x07}));
    Answer(Framed({0x01, 0x06, 0x00, 0x01, 0x00, 0x07}));
    EXPECT_EQ(master_->WriteSingleRegister(1, 40002, 7, {.retries = 1}), CommStatus::Ok);
    EXPECT_EQ(master_->LastAttempts(), 2);

    // Function 5, coil 7 on, answered "off" every time: reported, and offered in the box.
    Answer(Framed({0x01, 0x05, 0x00, 0x06, 0x00, 0x00}), 2);
    prompter_.Answer(false);
    EXPECT_EQ(master_->WriteSingleCoil(1, 7, true, {.retries = 1, .showRetryBox = true}),
              CommStatus::ReceiveError);
    EXPECT_EQ(master_->LastAttempts(), 2);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"COMMUNICATION ERROR\nReceive error"});

    // Function 16, two registers from 40010, answered with a count of one.
    const uint16_t two[2] = {1, 2};
    Answer(Framed({0x01, 0x10, 0x00, 0x09, 0x00, 0x01}));
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 40010, 2, two), CommStatus::ReceiveError);
    Answer(Framed({0x01, 0x10, 0x00, 0x09, 0x00, 0x02}));
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 40010, 2, two), CommStatus::Ok);
}

} // namespace
} // namespace quarnex::test
