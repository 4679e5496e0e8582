// The master against a hostile line: faults of every kind the simulated bus can inject, late
// answers, and stale bytes. What must hold: no wrong value is ever accepted, and one fault costs
// at most the transaction it hit.
#include "support/BusFixture.h"
#include "support/FaultSoak.h"

#include <poll.h>
#include <sstream>
#include <thread>

namespace quarnex::test {
namespace {

class HostileLineTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        profile_.WriteInt("Comm Param", "Baud", 115200);
        bank_ = AddBank(1);
        for (uint16_t a = 0; a < 100; ++a)
            bank_->Set(a, static_cast<uint16_t>(0x1000 + a));
        MakeMaster();
    }
    std::shared_ptr<sim::RegisterBank> bank_;
};

// A few thousand transactions of every kind, about one in ten with a fault of some kind.
TEST_F(HostileLineTest, FaultSoakAcceptsNoWrongValueAndRecoversAfterEveryFault) {
    const SoakFigures f = RunFaultSoak(bus_, *master_, {.transactions = 2000, .seed = 18});
    std::ostringstream figures;
    PrintSoakFigures(figures, f);
    EXPECT_EQ(f.wrongValuesAccepted, 0) << figures.str();
    EXPECT_EQ(f.outOfStep, 0) << figures.str();
    for (int k = 0; k < kFaultKinds; ++k)
        EXPECT_GT(f.injected[k], 0) << FaultName(k) << '\n' << figures.str();
    // Only an exception answer or a late answer (whose tail meets the repeated request) may end
    // the transaction it hit; every other fault is cured by the one repeat.
    for (int k = 0; k < kFaultKinds; ++k) {
        if (k != static_cast<int>(sim::Fault::Exception) &&
            k != static_cast<int>(sim::Fault::LateBytes)) {
            EXPECT_EQ(f.failedTransaction[k], 0) << FaultName(k) << '\n' << figures.str();
        }
    }
    std::printf("%s", figures.str().c_str());
}

// An answer that comes after the master has given up: its tail arrives while the master waits for
// the next answer. The late answer costs the one transaction and at most one repeat of the next;
// the following ones are all in step again.
TEST_F(HostileLineTest, ALateAnswerCostsOneTransactionNotTheFollowingOnes) {
    bus_.SetPacing(9600);
    profile_.WriteInt("Comm Param", "Baud", 9600);
    MakeMaster();
    uint16_t v[17];
    bus_.InjectFault(1, {.kind = sim::Fault::LateBytes, .lateMs = 320});
    const CommStatus first = master_->ReadHoldingRegisters(1, 40001, 17, v);
    EXPECT_EQ(first, CommStatus::ReceiveError);
    int repeats = 0;
    for (int i = 0; i < 20; ++i) {
        uint16_t got[17] = {};
        const int reg = 40001 + (i % 5) * 17;
        ASSERT_EQ(master_->ReadHoldingRegisters(1, reg, 17, got, {.retries = 3}), CommStatus::Ok)
            << "transaction " << i;
        for (int k = 0; k < 17; ++k)
            ASSERT_EQ(got[k], 0x1000 + reg - 40001 + k);
        repeats += master_->LastAttempts() - 1;
    }
    // The tail meets the next request at most once; the line is quiet after that failure.
    EXPECT_LE(repeats, 1);
}

// A write's answer must be its own: a stale confirmation of another write, arriving just before
// the request, is never taken for it.
TEST_F(HostileLineTest, AStaleConfirmationOfAnotherWriteIsNotTakenForThisOne) {
    std::vector<uint8_t> stale{0x01, 0x06, 0x00, 0x05, 0x12, 0x34};
    modbus::AppendCrc(stale);
    bus_.InjectFault(1, {.kind = sim::Fault::Silence});
    bus_.SendRaw(stale); // on the line before the request goes out
    EXPECT_NE(master_->WriteSingleRegister(1, 40007, 0xBEEF), CommStatus::Ok);
    bus_.InjectFault(1, {.kind = sim::Fault::WrongEcho});
    EXPECT_EQ(master_->WriteSingleRegister(1, 40007, 0xBEEF), CommStatus::ReceiveError);
    EXPECT_EQ(master_->WriteSingleRegister(1, 40008, 0xBEEF), CommStatus::Ok);
    EXPECT_EQ(bank_->Get(7), 0xBEEF);
}

// Bytes that are already in while the request is still on its way out cannot be its answer (the
// slave answers only once it has the whole request): the port drops them.
class SlowLinePort : public PosixSerialPort {
public:
    int pendingOutputPolls = 0;

protected:
    int QueuedOutput() const override {
        return pendingOutputPolls > 0 ? (--const_cast<SlowLinePort*>(this)->pendingOutputPolls, 8)
                                      : 0;
    }
};

TEST_F(HostileLineTest, BytesThatArriveWhileTheRequestGoesOutAreDropped) {
    master_.reset(); // the port is this test's own
    SlowLinePort port;
    std::string error;
    int errorNumber = 0;
    ASSERT_TRUE(port.Open(bus_.DevicePath(), error, errorNumber)) << error;
    ASSERT_TRUE(port.ApplyMode("baud=115200 parity=N data=8 stop=2"));
    ASSERT_TRUE(port.SetTimeouts({250, 1, 2000, 1, 500}));
    bus_.InjectFault(1, {.kind = sim::Fault::Silence});
    bus_.SendRaw({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}); // a stale read answer
    pollfd p{port.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    std::vector<uint8_t> request = modbus::ReadRequest(1, 40001, 1);
    modbus::AppendCrc(request);
    port.pendingOutputPolls = 1;
    ASSERT_EQ(port.Write(request.data(), static_cast<int>(request.size())), 8);
    EXPECT_EQ(port.StaleBytesDropped(), 7);
    // The next request's real answer is read from its first byte.
    ASSERT_EQ(port.Write(request.data(), static_cast<int>(request.size())), 8);
    uint8_t answer[7] = {};
    ASSERT_EQ(port.Read(answer, 7), 7);
    EXPECT_EQ(answer[3] << 8 | answer[4], 0x1000);
}

// Letting the line go quiet drops what is still coming and ends at the first silence, or at the
// limit on a line that never falls silent.
TEST_F(HostileLineTest, LettingTheLineGoQuietDropsWhatIsStillComing) {
    bus_.SendRaw(std::vector<uint8_t>(40, 0x55));
    EXPECT_EQ(master_->Link().DropLateAnswer(2000), 40);
    EXPECT_EQ(master_->Link().DropLateAnswer(2000), 0);
    // After the quiet line, a request gets its own answer from the first byte.
    uint16_t v = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40003, 1, &v), CommStatus::Ok);
    EXPECT_EQ(v, 0x1002);
}

// A late answer still trickling in when the next request is due: what is waiting is dropped,
// and the request waits for the line to fall silent, so the rest is not read as its answer.
TEST_F(HostileLineTest, StaleBytesStillComingAreDroppedBeforeTheRequest) {
    profile_.WriteInt("Comm Param", "Baud", 2400); // 20 ms between two frames
    MakeMaster();
    for (int round = 0; round < 3; ++round) {
        bus_.SendRaw({0x01, 0x03});
        std::thread late([this] {
            for (int i = 0; i < 30; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                bus_.SendRaw({0x55});
            }
        });
        uint16_t v = 0;
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40003, 1, &v), CommStatus::Ok) << round;
        EXPECT_EQ(v, 0x1002);
        late.join();
    }
}

// The bus is half-duplex: a request sent while the device is still answering is lost.
TEST_F(HostileLineTest, ARequestSentDuringAnAnswerIsLost) {
    bus_.InjectFault(1, {.kind = sim::Fault::LateBytes, .lateMs = 600});
    uint16_t v[4];
    // The answer stops half-way for 600 ms: the master gives up and repeats into the pause.
    EXPECT_NE(master_->ReadHoldingRegisters(1, 40001, 4, v, {.retries = 1}), CommStatus::Ok);
    EXPECT_GE(bus_.DiscardedBytes(), 8u); // the repeated request, sent over the answer
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 4, v, {.retries = 2}), CommStatus::Ok);
    EXPECT_EQ(v[3], 0x1003);
}

} // namespace
} // namespace quarnex::test
