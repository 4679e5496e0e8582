#include "support/BusFixture.h"

#include "comm/Crc.h"
#include "res/Strings.h"

#include <cmath>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;

class MasterTest : public BusFixture {
protected:
    // A short receive margin keeps the silent-address cases quick; the margin arithmetic itself
    // has its own tests.
    static constexpr int kQuick = 20;
};

TEST_F(MasterTest, RequestFramesAreExactOnTheWire) {
    for (int a : {1, 2, 3, 5, 7, 9})
        AddBank(a)->AddBlock(0, 1000);
    MakeMaster();
    uint16_t regs[17];
    float floats[2];
    const uint16_t two[2] = {0xABCD, 0x0001};
    const float f = 1.5f;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, regs), 0);
    EXPECT_EQ(master_->WriteSingleRegister(5, 40500, 0x1234), 0);
    EXPECT_EQ(master_->WriteMultipleRegisters(7, 40010, 2, two), 0);
    EXPECT_EQ(master_->WriteFloatRegisters(9, 40200, 1, &f), 0);
    EXPECT_EQ(master_->WriteModiconFloatRegisters(9, 40200, 1, &f), 0);
    EXPECT_EQ(master_->WriteSingleCoil(3, 1, true), 0);
    EXPECT_EQ(master_->WriteSingleCoil(3, 100, false), 0);
    EXPECT_EQ(master_->ReadFloatRegisters(2, 40394, 2, floats), 0);
    const std::vector<Bytes> expected = {
        {0x01, 0x03, 0x00, 0x00, 0x00, 0x11, 0x85, 0xC6},
        {0x05, 0x06, 0x01, 0xF3, 0x12, 0x34, 0x74, 0xF6},
        {0x07, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0xAB, 0xCD, 0x00, 0x01, 0x5D, 0x56},
        {0x09, 0x10, 0x00, 0xC7, 0x00, 0x02, 0x04, 0x3F, 0xC0, 0x00, 0x00, 0x98, 0x51},
        {0x09, 0x10, 0x00, 0xC7, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0xC0, 0x85, 0xD9},
        {0x03, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8D, 0xD8},
        {0x03, 0x05, 0x00, 0x63, 0x00, 0x00, 0x3C, 0x36},
        {0x02, 0x03, 0x01, 0x89, 0x00, 0x04, 0x94, 0x2C},
    };
    EXPECT_EQ(bus_.Requests(), expected);
    // A 17-register read is answered with 5 + 34 bytes: 37 without the CRC.
    uint16_t again[17];
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, again), 0);
    EXPECT_EQ(master_->LastAnswerLength(), 37);
}

TEST_F(MasterTest, ValuesDecodeInBothWordOrders) {
    auto bank = AddBank(4);
    bank->Set(10, 0x3FC0); // 1.5, high word first
    bank->Set(11, 0x0000);
    bank->Set(12, 0x0000); // -2.0 with the low word first
    bank->Set(13, 0xC000);
    MakeMaster();
    float standard[2] = {}, modicon[2] = {};
    ASSERT_EQ(master_->ReadFloatRegisters(4, 40011, 2, standard), 0);
    ASSERT_EQ(master_->ReadModiconFloatRegisters(4, 40011, 2, modicon), 0);
    EXPECT_EQ(standard[0], 1.5f);
    EXPECT_EQ(modicon[1], -2.0f);
    // Written and read back in the same order, any value survives the trip.
    const float values[3] = {-123.456f, 3.0e38f, 1.0e-30f};
    ASSERT_EQ(master_->WriteModiconFloatRegisters(4, 40050, 3, values), 0);
    float back[3] = {};
    ASSERT_EQ(master_->ReadModiconFloatRegisters(4, 40050, 3, back), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back[i], values[i]);
}

TEST_F(MasterTest, ArgumentChecksSendNothing) {
    AddBank(1);
    MakeMaster();
    uint16_t regs[101] = {};
    float floats[51] = {};
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40000, 1, regs), 6);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 50000, 1, regs), 6);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 0, regs), 6);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 101, regs), 6);
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 40001, 101, regs), 6);
    EXPECT_EQ(master_->WriteSingleRegister(1, 50000, 0), 6);
    EXPECT_EQ(master_->ReadFloatRegisters(1, 40001, 51, floats), 6);
    EXPECT_EQ(master_->WriteFloatRegisters(1, 40001, 51, floats), 6);
    EXPECT_EQ(master_->WriteSingleCoil(1, 0, true), 6);
    EXPECT_EQ(master_->WriteSingleCoil(1, 65536, true), 6);
    EXPECT_TRUE(bus_.Requests().empty());
    // The upper edges themselves are legal; register + count may run past 49999 unchecked.
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 100, regs), 0);
    EXPECT_EQ(master_->ReadFloatRegisters(1, 40001, 50, floats), 0);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 49999, 2, regs, 0, kQuick), 8);
}

TEST_F(MasterTest, NoPortCostsNoBusTime) {
    AddBank(1);
    MakeMaster(false);
    uint16_t value = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 3, 0, true), 1);
    EXPECT_TRUE(bus_.Requests().empty());
    EXPECT_TRUE(prompter_.Boxes().empty()); // status 1 is never offered for a retry
    master_->ReportLinkError(1);
    EXPECT_EQ(prompter_.LastText(), "COMMUNICATION ERROR\nNo valid communication port opened");
}

TEST_F(MasterTest, ReceiveFailuresAreRetriedExceptionsAreNot) {
    AddBank(1);
    MakeMaster();
    uint16_t value = 0;
    // Nobody at address 9: retries + 1 attempts, then "no response".
    EXPECT_EQ(master_->ReadHoldingRegisters(9, 40001, 1, &value, 3, kQuick), 4);
    EXPECT_EQ(bus_.RequestCount(9), 4u);
    EXPECT_EQ(master_->LastAttempts(), 4);

    // Address 1 has registers up to 40100 only: exception 02 after one attempt, whatever retries.
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40200, 1, &value, 3, kQuick), 8);
    EXPECT_EQ(bus_.RequestCount(1), 1u);
    EXPECT_EQ(ModbusMaster::StatusText(8, false), "Illegal data address (exception responce 02)");

    // An answer from another address, CRC correct: receive error after every attempt.
    bus_.ClearRequests();
    bus_.InjectFault(1, {sim::Fault::WrongAddress, 3});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 2, kQuick), 3);
    EXPECT_EQ(bus_.RequestCount(1), 3u);

    // One failure followed by a good answer: the retry hides it.
    bus_.ClearRequests();
    bus_.InjectFault(1, {sim::Fault::BadCrc, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 1, kQuick), 0);
    EXPECT_EQ(bus_.RequestCount(1), 2u);
}

// Each fault on the line ends in its own status; code 0-15 are all reachable.
TEST_F(MasterTest, EveryStatusFromARealAnswer) {
    AddBank(1);
    MakeMaster();
    struct Case {
        sim::Fault fault;
        uint8_t exception;
        CommStatus expected;
    };
    const Case cases[] = {
        {sim::Fault::Silence, 0, 4},        {sim::Fault::BadCrc, 0, 5},
        {sim::Fault::WrongAddress, 0, 3},   {sim::Fault::WrongFunction, 0, 3},
        {sim::Fault::ShortAnswer, 0, 3},    {sim::Fault::Garbage, 0, 5},
        {sim::Fault::WrongByteCount, 0, 3}, {sim::Fault::ExtraBytes, 0, 0},
        {sim::Fault::Exception, 1, 7},      {sim::Fault::Exception, 2, 8},
        {sim::Fault::Exception, 3, 9},      {sim::Fault::Exception, 4, 10},
        {sim::Fault::Exception, 5, 11},     {sim::Fault::Exception, 6, 12},
        {sim::Fault::Exception, 7, 13},     {sim::Fault::Exception, 8, 14},
        {sim::Fault::Exception, 9, 15},     {sim::Fault::Exception, 0x80, 15},
    };
    for (const Case& c : cases) {
        sim::FaultSpec injected{c.fault, 1};
        injected.exceptionCode = c.exception;
        bus_.InjectFault(1, injected);
        uint16_t values[2] = {};
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, 0, kQuick), c.expected)
            << "fault " << static_cast<int>(c.fault) << " code " << int{c.exception};
        // Whatever the fault left on the line, the next transaction is clean.
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, 0, kQuick), 0);
    }
    // A write answer that is short or late in the middle counts as a receive error too.
    bus_.InjectFault(1, {sim::Fault::LateBytes, 1, 0, 300});
    EXPECT_EQ(master_->WriteSingleRegister(1, 40002, 7, 0, kQuick), 3);
}

TEST_F(MasterTest, ExceptionTextsAndReportingSplit) {
    EXPECT_EQ(ModbusMaster::StatusText(2, false), "Transsmitt error");
    EXPECT_EQ(ModbusMaster::StatusText(4, true), "COMMUNICATION ERROR\nNo responce from slave");
    EXPECT_EQ(ModbusMaster::StatusText(13, false), "Negative acknowledge (exception responce 07)");
    EXPECT_EQ(ModbusMaster::StatusText(15, false), "Illegal exception responce code");
    EXPECT_EQ(ModbusMaster::StatusText(0, false), "??????");
    EXPECT_EQ(ModbusMaster::StatusText(16, false), "??????");

    MakeMaster(false);
    for (CommStatus s = 0; s <= 16; ++s) {
        master_->ReportLinkError(s, "", true);
        master_->ReportLinkError(s);
        master_->ReportExceptionError(s, " at 40007");
    }
    // onlyHard shows 1, 2, 6; the plain call 1-6; the exception report 7-15.
    const auto texts = prompter_.Texts();
    ASSERT_EQ(texts.size(), 3u + 6u + 9u);
    EXPECT_EQ(texts[0], "COMMUNICATION ERROR\nNo valid communication port opened");
    EXPECT_EQ(texts.back(), "COMMUNICATION ERROR\nIllegal exception responce code at 40007");
    for (const auto& box : prompter_.Boxes()) {
        EXPECT_EQ(box.icon, Prompter::Icon::Error);
        EXPECT_TRUE(box.caption.empty());
    }
}

TEST_F(MasterTest, RetryBoxStartsOverAndCancelReports) {
    AddBank(1);
    MakeMaster();
    uint16_t value = 0;
    bus_.InjectFault(1, {sim::Fault::Silence, 4});
    prompter_.Answer(true);  // Retry: another retries + 1 attempts
    prompter_.Answer(false); // Cancel
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 1, kQuick, true), 4);
    EXPECT_EQ(bus_.RequestCount(1), 4u);
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_EQ(prompter_.Boxes()[0].text, "COMMUNICATION ERROR\nNo responce from slave");

    // Retry that succeeds.
    prompter_.Clear();
    bus_.InjectFault(1, {sim::Fault::BadCrc, 1});
    prompter_.Answer(true);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 0, kQuick, true), 0);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"COMMUNICATION ERROR\nChecksum error"});

    // Exceptions are not offered.
    prompter_.Clear();
    bus_.InjectFault(1, {sim::Fault::Exception, 1, 7});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 0, kQuick, true), 13);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // The box goes to the owner when one is given.
    ScriptedPrompter owner;
    bus_.InjectFault(1, {sim::Fault::Silence, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 0, kQuick, true, &owner), 4);
    EXPECT_EQ(owner.Boxes().size(), 1u);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// A port whose writes fail after the open: the transmit error ends the attempts at once.
class FailingWritePort : public PosixSerialPort {
public:
    int Write(const uint8_t* data, int n) override {
        return PosixSerialPort::Write(data, n > 1 ? n - 1 : n) > 0 ? n - 1 : -1;
    }
};

TEST_F(MasterTest, TransmitErrorIsNeverRepeated) {
    AddBank(1);
    master_ = std::make_unique<ModbusMaster>(profile_, prompter_,
                                             [] { return std::make_unique<FailingWritePort>(); });
    ASSERT_TRUE(master_->Open());
    uint16_t value = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, 3, kQuick, true), 2);
    EXPECT_EQ(master_->LastAttempts(), 1);
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_TRUE(bus_.Requests().empty()); // seven bytes of eight never form a frame
}

TEST_F(MasterTest, StaleBytesAreDroppedBeforeTheRequest) {
    auto bank = AddBank(1);
    bank->Set(0, 2003);
    MakeMaster();
    // A half answer left over from an earlier exchange, and line noise.
    bus_.SendRaw({0x01, 0x03, 0x02, 0x99, 0x99, 0xFF});
    uint16_t value = 0;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), 0);
    EXPECT_EQ(value, 2003);
}

TEST_F(MasterTest, ReadsCopyValuesOnlyOnSuccess) {
    auto bank = AddBank(1);
    bank->Set(0, 42);
    MakeMaster();
    uint16_t values[2] = {7, 7};
    bus_.InjectFault(1, {sim::Fault::WrongByteCount, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, 0, kQuick), 3);
    EXPECT_EQ(values[0], 7);
    bus_.InjectFault(1, {sim::Fault::Exception, 1, 3});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, 0, kQuick), 9);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, 0, kQuick), 0);
    EXPECT_EQ(values[0], 42);
}

TEST(CrcTest, KnownVector) {
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x11};
    EXPECT_EQ(Crc16Modbus(request, sizeof request), 0xC685);
    EXPECT_EQ(Crc16Modbus(request, 0), 0xFFFF);
    Bytes frame(request, request + 6);
    modbus::AppendCrc(frame);
    EXPECT_TRUE(modbus::CrcMatches(frame.data(), frame.size()));
    std::swap(frame[6], frame[7]);
    EXPECT_FALSE(modbus::CrcMatches(frame.data(), frame.size()));
    EXPECT_FALSE(modbus::CrcMatches(frame.data(), 1));
}

TEST(StringTableTest, NoIdTwiceAndBusTextsPresent) {
    EXPECT_TRUE(DuplicateTextIds().empty());
    for (int id = 10020; id <= 10028; ++id)
        EXPECT_TRUE(HasText(id)) << id;
    EXPECT_EQ(FormatText("between %1 and %2.", {"0", "1000"}), "between 0 and 1000.");
    EXPECT_EQ(FormatText("%3 stays", {"a"}), "%3 stays");
}

} // namespace
} // namespace quarnex::test
