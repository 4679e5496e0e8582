#include "support/BusFixture.h"

#include "comm/TrafficLog.h"
#include "comm/TrafficRecorder.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;

class TrafficTest : public BusFixture {
protected:
    void Watch() {
        AddBank(1);
        MakeMaster();
        master_->SetTrafficObserver(&recorder_);
    }
    std::vector<TrafficRecord> Records() const { return recorder_.After(0); }

    TrafficRecorder recorder_;
};

// Every attempt of every transaction is one record: the retries of a failed attempt follow it
// under the same transaction with rising attempt numbers, and an exception is not retried.
TEST_F(TrafficTest, OneRecordPerAttemptForEveryFault) {
    Watch();
    using enum CommStatus;
    struct Case {
        sim::Fault fault;
        CommStatus first; // the faulty attempt's status; a retry that succeeds follows when retried
    };
    const Case cases[] = {
        {sim::Fault::BadCrc, ChecksumError},
        {sim::Fault::WrongAddress, ReceiveError},
        {sim::Fault::WrongFunction, ReceiveError},
        {sim::Fault::ShortAnswer, ReceiveError},
        {sim::Fault::Garbage, ChecksumError},
        {sim::Fault::WrongByteCount, ReceiveError},
        {sim::Fault::ExtraBytes, Ok},
        {sim::Fault::Exception, SlaveDeviceFailure},
    };
    const Bytes frame = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    uint64_t transaction = 0;
    for (const Case& c : cases) {
        const uint64_t before = recorder_.Total();
        bus_.InjectFault(1, {c.fault, 1});
        uint16_t values[2] = {};
        master_->ReadHoldingRegisters(1, 40001, 2, values, {.retries = 2});
        const std::vector<TrafficRecord> got = recorder_.After(before);
        const bool retried = IsRetryable(c.first);
        ASSERT_EQ(got.size(), retried ? 2u : 1u) << "fault " << static_cast<int>(c.fault);
        EXPECT_EQ(got[0].status, c.first);
        EXPECT_EQ(got[0].request, frame);
        EXPECT_EQ(got[0].attempt, 1);
        EXPECT_GT(got[0].transaction, transaction);
        transaction = got[0].transaction;
        if (retried) {
            EXPECT_EQ(got[1].status, Ok);
            EXPECT_EQ(got[1].attempt, 2);
            EXPECT_EQ(got[1].transaction, transaction);
        }
        // Whatever came is kept as it came, CRC included.
        EXPECT_FALSE(got[0].answer.empty());
        if (c.fault == sim::Fault::ShortAnswer) {
            EXPECT_EQ(got[0].answer.size(), 6u); // 9 bytes less the last three
        }
        if (c.fault == sim::Fault::Exception) {
            EXPECT_EQ(got[0].answer, (Bytes{0x01, 0x83, 0x04, 0x40, 0xF3}));
        }
        for (const TrafficRecord& r : got) {
            EXPECT_GE(r.requestEndNs, 0);
            EXPECT_GE(r.firstAnswerNs, r.requestEndNs);
            EXPECT_GE(r.lastAnswerNs, r.firstAnswerNs);
            EXPECT_GE(r.endNs, r.lastAnswerNs);
            // The master waits the inter-frame delay before each request (the link has not seen
            // the line before its first one).
            if (r.serial > 1) {
                EXPECT_GE(r.gapNs, int64_t{SerialOf(*master_).InterFrameDelay()} * 1'000'000);
            }
            EXPECT_FALSE(traffic::GapTooShort(r));
            // Unpaced, the simulator writes each answer at once: no silence inside it.
            EXPECT_FALSE(traffic::SilenceInAnswer(r)) << r.longestSilenceNs;
        }
    }
}

// A silent slave: each attempt waits out its time-out, and the records show it.
TEST_F(TrafficTest, SilentSlaveShowsEveryTimedOutRetry) {
    Watch();
    bus_.InjectFault(1, {sim::Fault::Silence, 3});
    uint16_t value = 0;
    EXPECT_EQ(
        master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2, .extraTimeout = 20}),
        CommStatus::NoResponse);
    const std::vector<TrafficRecord> got = Records();
    ASSERT_EQ(got.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].attempt, i + 1);
        EXPECT_EQ(got[i].transaction, got[0].transaction);
        EXPECT_EQ(got[i].status, CommStatus::NoResponse);
        EXPECT_TRUE(got[i].answer.empty());
        EXPECT_EQ(got[i].firstAnswerNs, -1);
        EXPECT_GE(got[i].endNs, 20'000'000); // at least the receive margin
        EXPECT_NE(traffic::MakeRow(got[i]).response.find("time-out "), std::string::npos);
    }
    const traffic::Summary s = traffic::Summarize(got);
    EXPECT_EQ(s.transactions, 1);
    EXPECT_EQ(s.attempts, 3);
    EXPECT_EQ(s.failures.at(CommStatus::NoResponse), 3);
    EXPECT_EQ(traffic::SummaryText(s),
              "1 transactions, 3 attempts, 3 failed; 3 x No responce from slave; "
              "address 1: no answer");
}

// A pause inside the answer (shorter than the read interval, so the frame still arrives whole)
// is measured and marked. (Paced frames are not asserted unmarked: on a loaded machine the
// simulator's thread itself may pause between bytes.)
TEST_F(TrafficTest, LateBytesAreMarked) {
    profile_.WriteInt("Comm Param", "Baud", 19200);
    bus_.SetPacing(0);
    Watch();
    uint16_t values[10] = {};
    ASSERT_EQ(master_->ReadHoldingRegisters(1, 40001, 10, values), CommStatus::Ok);
    bus_.InjectFault(1, {sim::Fault::LateBytes, 1, 0, 100});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 10, values), CommStatus::Ok);
    const std::vector<TrafficRecord> got = Records();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(traffic::SilenceInAnswer(got[1]));
    EXPECT_GE(got[1].longestSilenceNs, 90'000'000);
    EXPECT_EQ(got[1].answer.size(), 25u);
    EXPECT_NE(traffic::MakeRow(got[1]).warning.find("in answer"), std::string::npos);
    // The paced answer cannot arrive faster than its bytes cross the line.
    EXPECT_GE(got[0].lastAnswerNs, (8 + 24) * got[0].characterNs);
    EXPECT_EQ(got[0].characterNs, 11 * 1'000'000'000LL / 19200);
}

// A write that the port does not take whole is one record with the transmit error.
class HalfWritePort : public PosixSerialPort {
public:
    int Write(const uint8_t* data, int n) override {
        return PosixSerialPort::Write(data, n > 1 ? n - 1 : n) > 0 ? n - 1 : -1;
    }
};

TEST_F(TrafficTest, TransmitErrorIsOneRecord) {
    AddBank(1);
    master_ = std::make_unique<ModbusMaster>(
        profile_, prompter_, SettingsLinkFactory([] { return std::make_unique<HalfWritePort>(); }));
    ASSERT_TRUE(master_->Open());
    master_->SetTrafficObserver(&recorder_);
    uint16_t value = 0;
    master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 3});
    const std::vector<TrafficRecord> got = Records();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, CommStatus::TransmitError);
    EXPECT_EQ(traffic::MakeRow(got[0]).status, "Transsmitt error");
}

TEST_F(TrafficTest, NobodyWatchingNothingRecorded) {
    Watch();
    master_->SetTrafficObserver(nullptr);
    uint16_t value = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::Ok);
    EXPECT_EQ(recorder_.Total(), 0u);
}

TrafficRecord Record(uint8_t address, CommStatus status, int attempt, int64_t responseMs) {
    TrafficRecord r;
    r.request = {address, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    r.status = status;
    r.attempt = attempt;
    r.lastAnswerNs = responseMs < 0 ? -1 : responseMs * 1'000'000;
    r.characterNs = 1'000'000;
    return r;
}

TEST(TrafficRecorderTest, RingKeepsItsBoundAndSerials) {
    TrafficRecorder ring(3);
    for (int i = 0; i < 5; ++i)
        ring.OnAttempt(Record(static_cast<uint8_t>(i + 1), CommStatus::Ok, 1, 10));
    EXPECT_EQ(ring.Size(), 3u);
    EXPECT_EQ(ring.Total(), 5u);
    EXPECT_EQ(ring.At(0).serial, 3u);
    EXPECT_EQ(ring.At(0).request[0], 3);
    EXPECT_EQ(ring.After(0).size(), 3u);
    ASSERT_EQ(ring.After(4).size(), 1u);
    EXPECT_EQ(ring.After(4)[0].serial, 5u);
    EXPECT_TRUE(ring.After(5).empty());
    ring.Clear();
    EXPECT_TRUE(ring.After(0).empty());
    ring.OnAttempt(Record(9, CommStatus::Ok, 1, 10));
    ASSERT_EQ(ring.After(5).size(), 1u);
    EXPECT_EQ(ring.After(5)[0].serial, 6u);
    EXPECT_EQ(TrafficRecorder(0).Capacity(), 1u);
}

// The ring is filled once and then overwritten in place: the newest record takes the oldest
// one's place, and records of every length come back as they went in while the shared byte ring
// wraps and grows under them (its memory bounded by what the kept records hold).
TEST(TrafficRecorderTest, RingWrapsInPlace) {
    TrafficRecorder ring(3);
    std::mt19937 random(7);
    std::vector<TrafficRecord> sent;
    for (int i = 0; i < 400; ++i) {
        TrafficRecord r = Record(static_cast<uint8_t>(i), CommStatus::Ok, 1, i);
        r.request.resize(random() % 12);
        r.answer.resize(i % 100 == 99 ? 3000 : random() % 260); // now and then a long one
        for (auto* bytes : {&r.request, &r.answer})
            for (uint8_t& b : *bytes)
                b = static_cast<uint8_t>(random());
        r.gapNs = int64_t{i} << 33; // beyond 32 bits
        ring.OnAttempt(r);
        sent.push_back(r);
        const std::vector<TrafficRecord> kept = ring.After(0);
        ASSERT_EQ(kept.size(), std::min<size_t>(sent.size(), 3));
        for (size_t k = 0; k < kept.size(); ++k) {
            const TrafficRecord& want = sent[sent.size() - kept.size() + k];
            EXPECT_EQ(kept[k].request, want.request) << i;
            EXPECT_EQ(kept[k].answer, want.answer) << i;
            EXPECT_EQ(kept[k].gapNs, want.gapNs) << i;
            EXPECT_EQ(kept[k].serial, sent.size() - kept.size() + k + 1) << i;
        }
    }
    EXPECT_FALSE(ring.BySerial(397).has_value());
    EXPECT_EQ(ring.AddressOf(400), ring.At(2).request.empty() ? 0 : ring.At(2).request[0]);
    EXPECT_EQ(ring.AddressOf(401), -1);
    EXPECT_LE(ring.MemoryBytes(), 3 * sizeof(TrafficRecord) + 3 * (3000 + 12 + 260));
}

// Totals kept as records come and leave the ring equal a count from scratch over what the ring
// holds, for random streams of statuses, addresses and response times; the p99 lies in the
// histogram bin of the exact rank.
TEST(TrafficRecorderTest, KeptTotalsEqualARecount) {
    const CommStatus statuses[] = {CommStatus::Ok,
                                   CommStatus::Ok,
                                   CommStatus::Ok,
                                   CommStatus::NoResponse,
                                   CommStatus::ChecksumError,
                                   CommStatus::IllegalDataAddress};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        TrafficRecorder ring(50 + seed * 37);
        const int n = static_cast<int>(ring.Capacity()) * (seed % 3 + 1) + 11;
        for (int i = 0; i < n; ++i) {
            const CommStatus status = statuses[random() % std::size(statuses)];
            // Times from under a millisecond to beyond the histogram's range.
            const int64_t ns = status == CommStatus::NoResponse ? -1
                               : random() % 10 == 0
                                   ? static_cast<int64_t>(random() % 20'000) * 1'000'000
                                   : static_cast<int64_t>(random() % 60'000) * 1'000;
            TrafficRecord r = Record(static_cast<uint8_t>(random() % 4), status,
                                     1 + static_cast<int>(random() % 2), 0);
            r.lastAnswerNs = ns;
            if (random() % 50 == 0)
                r.request.clear();
            ring.OnAttempt(r);
            if (seed == 6 && i == n / 2)
                ring.Clear();
        }
        const std::vector<TrafficRecord> kept = ring.After(0);
        for (int filter : {0, 1, 3}) {
            std::vector<TrafficRecord> shown;
            for (const TrafficRecord& r : kept)
                if (traffic::Matches(r, filter))
                    shown.push_back(r);
            EXPECT_EQ(traffic::Summarize(ring.Totals(), filter), traffic::Summarize(shown))
                << "seed " << seed << ", address " << filter;
        }
        for (int address : ring.Totals().Addresses()) {
            std::vector<int64_t> times;
            for (const TrafficRecord& r : kept)
                if (TrafficTotals::AddressOf(r) == address && r.lastAnswerNs >= 0 &&
                    (r.status == CommStatus::Ok || IsException(r.status)))
                    times.push_back(r.lastAnswerNs);
            if (times.empty())
                continue;
            std::sort(times.begin(), times.end());
            const auto rank =
                static_cast<size_t>(std::ceil(0.99 * static_cast<double>(times.size())));
            const int64_t exact = times[rank - 1];
            const int64_t p99 = ring.Totals().Address(address)->times.QuantileNs(0.99);
            EXPECT_EQ(ResponseHistogram::Bin(p99), ResponseHistogram::Bin(exact))
                << "seed " << seed << ", address " << address;
        }
    }
    // A bin's bounds hold its times.
    for (int64_t ns : {int64_t{0}, int64_t{255'999}, int64_t{256'000}, int64_t{3'141'592},
                       int64_t{16'000'000'000}, int64_t{90'000'000'000}}) {
        const int b = ResponseHistogram::Bin(ns);
        EXPECT_LE(ResponseHistogram::BinLowNs(b), ns);
        if (b + 1 < ResponseHistogram::kBins) {
            EXPECT_LT(ns, ResponseHistogram::BinLowNs(b + 1));
        }
    }
}

TEST(TrafficLogTest, CsvQuotesTheRawBytesAndAnyTextThatNeedsIt) {
    EXPECT_EQ(traffic::CsvField("plain"), "plain");
    EXPECT_EQ(traffic::CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(traffic::CsvField("say \"hi\"\n"), "\"say \"\"hi\"\"\n\"");
    EXPECT_EQ(traffic::CsvField("", true), "\"\"");
    TrafficRecord r = Record(1, CommStatus::IllegalDataValue, 1, 12);
    r.serial = 7;
    r.transaction = 4;
    r.answer = {0x01, 0x83, 0x03, 0x01, 0x31};
    const std::string line = traffic::CsvLine(r);
    EXPECT_EQ(line.rfind("7,4,1,", 0), 0u) << line;
    EXPECT_EQ(traffic::DateTime(r.wallNs).size(), 23u); // date, time and milliseconds
    EXPECT_NE(line.find("," + traffic::DateTime(0) + ","), std::string::npos) << line;
    // The exception's text holds a comma-free parenthesis; the bytes are always quoted.
    EXPECT_NE(line.find(",1,Read registers,40001,2,"), std::string::npos) << line;
    EXPECT_NE(line.find(",\"01 03 00 00 00 02 C4 0B\",\"01 83 03 01 31\""), std::string::npos)
        << line;
    r.answer.clear();
    EXPECT_EQ(traffic::CsvLine(r).substr(traffic::CsvLine(r).size() - 3), ",\"\"");
    const std::string file = traffic::CsvText({r, r});
    EXPECT_EQ(file.rfind(traffic::CsvHeader() + "\r\n", 0), 0u);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3);
}

TEST(TrafficLogTest, DecodesEveryFunctionTheMasterSends) {
    const auto d = [](Bytes b) { return traffic::Decode(b); };
    EXPECT_EQ(d({1, 3, 0x00, 0x10, 0x00, 0x11}).reg, 40017);
    EXPECT_EQ(d({1, 3, 0x00, 0x10, 0x00, 0x11}).count, 17);
    EXPECT_EQ(d({2, 6, 0x00, 0x01, 0x12, 0x34}).functionText, "Write register");
    EXPECT_EQ(d({2, 6, 0x00, 0x01, 0x12, 0x34}).reg, 40002);
    EXPECT_EQ(d({2, 5, 0x00, 0x04, 0xFF, 0x00}).reg, 5); // coils count from 1
    EXPECT_EQ(d({2, 16, 0x00, 0x00, 0x00, 0x04, 8}).count, 4);
    EXPECT_EQ(d({2, 0x41}).functionText, "Function 65");
    EXPECT_EQ(d({2, 0x41}).reg, 0);
    EXPECT_EQ(d({9}).address, 9); // too short to carry a function: no crash, nothing decoded
    EXPECT_EQ(d({}).functionText, "");
}

TEST(TrafficLogTest, TimingWarningsAtTheirThresholds) {
    TrafficRecord r = Record(1, CommStatus::Ok, 1, 10);
    r.characterNs = 1'000'000; // 1 ms a character
    r.gapNs = 3'500'000;
    EXPECT_FALSE(traffic::GapTooShort(r));
    r.gapNs = 3'499'999;
    EXPECT_TRUE(traffic::GapTooShort(r));
    r.gapNs = -1; // not seen
    EXPECT_FALSE(traffic::GapTooShort(r));
    r.longestSilenceNs = 1'500'000;
    EXPECT_FALSE(traffic::SilenceInAnswer(r));
    r.longestSilenceNs = 1'500'001;
    EXPECT_TRUE(traffic::SilenceInAnswer(r));
    r.gapNs = 1'000'000;
    EXPECT_EQ(traffic::Warning(r), "gap 1.00 ms < 3.5 char.; silence 1.50 ms in answer");
    const std::string line = traffic::TraceLine(r);
    EXPECT_NE(line.find("#0/1 @1 Read registers 40001 x2: OK | response 10.00 ms, gap 1.00 ms | "
                        "> 01 03 00 00 00 02 C4 0B | < "),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("| ! gap 1.00 ms"), std::string::npos);
}

TEST(TrafficLogTest, SummaryPerAddressAndFilter) {
    std::vector<TrafficRecord> records;
    for (int ms = 1; ms <= 100; ++ms)
        records.push_back(Record(1, CommStatus::Ok, 1, ms));
    records.push_back(Record(2, CommStatus::ChecksumError, 1, 5));
    records.push_back(Record(2, CommStatus::Ok, 2, 7));
    records.push_back(Record(3, CommStatus::NoResponse, 1, -1));
    const traffic::Summary s = traffic::Summarize(records);
    EXPECT_EQ(s.transactions, 102);
    EXPECT_EQ(s.attempts, 103);
    EXPECT_EQ(s.failed, 2);
    EXPECT_DOUBLE_EQ(s.addresses.at(1).meanMs, 50.5);
    EXPECT_DOUBLE_EQ(s.addresses.at(1).p99Ms, 99);
    EXPECT_EQ(s.addresses.at(2).answered, 1); // the bad CRC's time is no response time
    EXPECT_DOUBLE_EQ(s.addresses.at(2).p99Ms, 7);
    EXPECT_EQ(s.addresses.at(3).answered, 0);
    EXPECT_EQ(
        traffic::SummaryText(s),
        "102 transactions, 103 attempts, 2 failed; 1 x No responce from slave; "
        "1 x Checksum error; address 1: mean 50.50 ms, p99 99.00 ms; address 2: mean 7.00 ms, "
        "p99 7.00 ms; address 3: no answer");
    EXPECT_TRUE(traffic::Matches(records[0], 0));
    EXPECT_TRUE(traffic::Matches(records[0], 1));
    EXPECT_FALSE(traffic::Matches(records[0], 2));
    EXPECT_EQ(traffic::SummaryText({}), "no traffic");
}

} // namespace
} // namespace quarnex::test
