#include "support/BusFixture.h"

#include "comm/Crc.h"
#include "res/Strings.h"

#include <cmath>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;

class MasterTest : public BusFixture {
protected:
    // A short receive margin keeps the cases quick where nobody answers at all; wherever an
    // answer is expected the usual 400 ms margin applies, so a loaded machine cannot turn a late
    // answer into a false "no response". The margin arithmetic itself has its own tests.
    static constexpr int kSilentMargin = 20;
};

TEST_F(MasterTest, RequestFramesAreExactOnTheWire) {
    for (int a : {1, 2, 3, 5, 7, 9})
        AddBank(a)->AddBlock(0, 1000);
    MakeMaster();
    uint16_t regs[17];
    float floats[2];
    const uint16_t two[2] = {0xABCD, 0x0001};
    const float f = 1.5f;
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, regs), CommStatus::Ok);
    EXPECT_EQ(master_->WriteSingleRegister(5, 40500, 0x1234), CommStatus::Ok);
    EXPECT_EQ(master_->WriteMultipleRegisters(7, 40010, 2, two), CommStatus::Ok);
    EXPECT_EQ(master_->WriteFloatRegisters(9, 40200, 1, &f), CommStatus::Ok);
    EXPECT_EQ(master_->WriteModiconFloatRegisters(9, 40200, 1, &f), CommStatus::Ok);
    EXPECT_EQ(master_->WriteSingleCoil(3, 1, true), CommStatus::Ok);
    EXPECT_EQ(master_->WriteSingleCoil(3, 100, false), CommStatus::Ok);
    EXPECT_EQ(master_->ReadFloatRegisters(2, 40394, 2, floats), CommStatus::Ok);
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
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 17, again), CommStatus::Ok);
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
    ASSERT_EQ(master_->ReadFloatRegisters(4, 40011, 2, standard), CommStatus::Ok);
    ASSERT_EQ(master_->ReadModiconFloatRegisters(4, 40011, 2, modicon), CommStatus::Ok);
    EXPECT_EQ(standard[0], 1.5f);
    EXPECT_EQ(modicon[1], -2.0f);
    // Written and read back in the same order, any value survives the trip.
    const float values[3] = {-123.456f, 3.0e38f, 1.0e-30f};
    ASSERT_EQ(master_->WriteModiconFloatRegisters(4, 40050, 3, values), CommStatus::Ok);
    float back[3] = {};
    ASSERT_EQ(master_->ReadModiconFloatRegisters(4, 40050, 3, back), CommStatus::Ok);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back[i], values[i]);
}

TEST_F(MasterTest, ArgumentChecksSendNothing) {
    AddBank(1);
    MakeMaster();
    uint16_t regs[101] = {};
    float floats[51] = {};
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40000, 1, regs), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 50000, 1, regs), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 0, regs), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 101, regs), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 40001, 101, regs),
              CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->WriteSingleRegister(1, 50000, 0), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->ReadFloatRegisters(1, 40001, 51, floats), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->WriteFloatRegisters(1, 40001, 51, floats), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->WriteSingleCoil(1, 0, true), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->WriteSingleCoil(1, 65536, true), CommStatus::IllegalTransmitData);
    EXPECT_TRUE(bus_.Requests().empty());
    // The upper edges themselves are legal; register + count may run past 49999 unchecked.
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 100, regs), CommStatus::Ok);
    EXPECT_EQ(master_->ReadFloatRegisters(1, 40001, 50, floats), CommStatus::Ok);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 49999, 2, regs), CommStatus::IllegalDataAddress);
}

TEST_F(MasterTest, NoPortCostsNoBusTime) {
    AddBank(1);
    MakeMaster(false);
    uint16_t value = 0;
    EXPECT_EQ(
        master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 3, .showRetryBox = true}),
        CommStatus::NoPort);
    EXPECT_TRUE(bus_.Requests().empty());
    EXPECT_TRUE(prompter_.Boxes().empty()); // status 1 is never offered for a retry
    master_->ReportLinkError(CommStatus::NoPort);
    EXPECT_EQ(prompter_.LastText(), "COMMUNICATION ERROR\nNo valid communication port opened");
}

TEST_F(MasterTest, ReceiveFailuresAreRetriedExceptionsAreNot) {
    AddBank(1);
    MakeMaster();
    uint16_t value = 0;
    // Nobody at address 9: retries + 1 attempts, then "no response".
    EXPECT_EQ(master_->ReadHoldingRegisters(9, 40001, 1, &value,
                                            {.retries = 3, .extraTimeout = kSilentMargin}),
              CommStatus::NoResponse);
    EXPECT_EQ(bus_.RequestCount(9), 4u);
    EXPECT_EQ(master_->LastAttempts(), 4);

    // Address 1 has registers up to 40100 only: exception 02 after one attempt, whatever retries.
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40200, 1, &value, {.retries = 3}),
              CommStatus::IllegalDataAddress);
    EXPECT_EQ(bus_.RequestCount(1), 1u);
    EXPECT_EQ(ModbusMaster::StatusText(CommStatus::IllegalDataAddress, false),
              "Illegal data address (exception responce 02)");

    // An answer from another address, CRC correct: receive error after every attempt.
    bus_.ClearRequests();
    bus_.InjectFault(1, {sim::Fault::WrongAddress, 3});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 2}),
              CommStatus::ReceiveError);
    EXPECT_EQ(bus_.RequestCount(1), 3u);

    // One failure followed by a good answer: the retry hides it.
    bus_.ClearRequests();
    bus_.InjectFault(1, {sim::Fault::BadCrc, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 1}), CommStatus::Ok);
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
    using enum CommStatus;
    const Case cases[] = {
        {sim::Fault::Silence, 0, NoResponse},
        {sim::Fault::BadCrc, 0, ChecksumError},
        {sim::Fault::WrongAddress, 0, ReceiveError},
        {sim::Fault::WrongFunction, 0, ReceiveError},
        {sim::Fault::ShortAnswer, 0, ReceiveError},
        {sim::Fault::Garbage, 0, ChecksumError},
        {sim::Fault::WrongByteCount, 0, ReceiveError},
        {sim::Fault::ExtraBytes, 0, Ok},
        {sim::Fault::Exception, 1, IllegalFunction},
        {sim::Fault::Exception, 2, IllegalDataAddress},
        {sim::Fault::Exception, 3, IllegalDataValue},
        {sim::Fault::Exception, 4, SlaveDeviceFailure},
        {sim::Fault::Exception, 5, Acknowledge},
        {sim::Fault::Exception, 6, SlaveDeviceBusy},
        {sim::Fault::Exception, 7, NegativeAcknowledge},
        {sim::Fault::Exception, 8, MemoryParityError},
        {sim::Fault::Exception, 9, OtherException},
        {sim::Fault::Exception, 0x80, OtherException},
    };
    // Only where nothing comes may the wait be short.
    const auto Wait = [](sim::Fault fault) {
        return TransactionOptions{.extraTimeout = fault == sim::Fault::Silence ? kSilentMargin : 0};
    };
    for (const Case& c : cases) {
        sim::FaultSpec injected{c.fault, 1};
        injected.exceptionCode = c.exception;
        bus_.InjectFault(1, injected);
        uint16_t values[2] = {};
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values, Wait(c.fault)), c.expected)
            << "fault " << static_cast<int>(c.fault) << " code " << int{c.exception};
        // Whatever the fault left on the line, the next transaction is clean.
        EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), CommStatus::Ok);
    }
    // A write answer that is short or late in the middle counts as a receive error too.
    bus_.InjectFault(1, {sim::Fault::LateBytes, 1, 0, 300});
    EXPECT_EQ(master_->WriteSingleRegister(1, 40002, 7), CommStatus::ReceiveError);
}

TEST_F(MasterTest, ExceptionTextsAndReportingSplit) {
    using enum CommStatus;
    EXPECT_EQ(ModbusMaster::StatusText(TransmitError, false), "Transsmitt error");
    EXPECT_EQ(ModbusMaster::StatusText(NoResponse, true),
              "COMMUNICATION ERROR\nNo responce from slave");
    EXPECT_EQ(ModbusMaster::StatusText(NegativeAcknowledge, false),
              "Negative acknowledge (exception responce 07)");
    EXPECT_EQ(ModbusMaster::StatusText(MemoryParityError, false),
              "Memory parity error (exception responce 08)");
    EXPECT_EQ(ModbusMaster::StatusText(OtherException, false), "Illegal exception responce code");
    EXPECT_EQ(ModbusMaster::StatusText(Ok, false), "??????");
    EXPECT_EQ(ModbusMaster::StatusText(static_cast<CommStatus>(16), false), "??????");

    MakeMaster(false);
    for (int code = 0; code <= 16; ++code) {
        const auto s = static_cast<CommStatus>(code);
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
    EXPECT_EQ(master_->ReadHoldingRegisters(
                  1, 40001, 1, &value,
                  {.retries = 1, .extraTimeout = kSilentMargin, .showRetryBox = true}),
              CommStatus::NoResponse);
    EXPECT_EQ(bus_.RequestCount(1), 4u);
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_EQ(prompter_.Boxes()[0].text, "COMMUNICATION ERROR\nNo responce from slave");

    // Retry that succeeds.
    prompter_.Clear();
    bus_.InjectFault(1, {sim::Fault::BadCrc, 1});
    prompter_.Answer(true);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, {.showRetryBox = true}),
              CommStatus::Ok);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"COMMUNICATION ERROR\nChecksum error"});

    // Exceptions are not offered.
    prompter_.Clear();
    bus_.InjectFault(1, {sim::Fault::Exception, 1, 7});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value, {.showRetryBox = true}),
              CommStatus::NegativeAcknowledge);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // The box goes to the owner when one is given.
    ScriptedPrompter owner;
    bus_.InjectFault(1, {sim::Fault::Silence, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(
                  1, 40001, 1, &value,
                  {.extraTimeout = kSilentMargin, .showRetryBox = true, .owner = &owner}),
              CommStatus::NoResponse);
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
    master_ = std::make_unique<ModbusMaster>(profile_, prompter_, SettingsLinkFactory([] {
                                                 return std::make_unique<FailingWritePort>();
                                             }));
    ASSERT_TRUE(master_->Open());
    uint16_t value = 0;
    EXPECT_EQ(
        master_->ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 3, .showRetryBox = true}),
        CommStatus::TransmitError);
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
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 1, &value), CommStatus::Ok);
    EXPECT_EQ(value, 2003);
}

TEST_F(MasterTest, ReadsCopyValuesOnlyOnSuccess) {
    auto bank = AddBank(1);
    bank->Set(0, 42);
    MakeMaster();
    uint16_t values[2] = {7, 7};
    bus_.InjectFault(1, {sim::Fault::WrongByteCount, 1});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), CommStatus::ReceiveError);
    EXPECT_EQ(values[0], 7);
    bus_.InjectFault(1, {sim::Fault::Exception, 1, 3});
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), CommStatus::IllegalDataValue);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(master_->ReadHoldingRegisters(1, 40001, 2, values), CommStatus::Ok);
    EXPECT_EQ(values[0], 42);
}

// A write echo naming another register, coil or count means the write landed elsewhere (or
// not at all): it is a receive error, retried, offered in the box and never reported as done.
TEST_F(MasterTest, WriteWithAChangedEchoIsRetriedAndReported) {
    auto bank = AddBank(1);
    MakeMaster();
    const uint16_t two[2] = {1, 2};
    bus_.InjectFault(1, {sim::Fault::WrongEcho, 1});
    EXPECT_EQ(master_->WriteSingleRegister(1, 40002, 7, {.retries = 1}), CommStatus::Ok);
    EXPECT_EQ(master_->LastAttempts(), 2);

    bus_.ClearRequests();
    bus_.InjectFault(1, {sim::Fault::WrongEcho, 3});
    EXPECT_EQ(master_->WriteMultipleRegisters(1, 40010, 2, two, {.retries = 2}),
              CommStatus::ReceiveError);
    EXPECT_EQ(bus_.RequestCount(1), 3u);

    bus_.InjectFault(1, {sim::Fault::WrongEcho, 1});
    prompter_.Answer(false);
    EXPECT_EQ(master_->WriteSingleCoil(1, 7, true, {.showRetryBox = true}),
              CommStatus::ReceiveError);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"COMMUNICATION ERROR\nReceive error"});
}

// The raw entry point: the built request goes out with its CRC, the checked answer comes back
// without it.
TEST_F(MasterTest, TransactSendsARequestAndReturnsTheCheckedAnswer) {
    auto bank = AddBank(1);
    bank->Set(0, 0x1234);
    MakeMaster();
    Bytes answer;
    EXPECT_EQ(master_->Transact({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, answer), CommStatus::Ok);
    EXPECT_EQ(answer, (Bytes{0x01, 0x03, 0x02, 0x12, 0x34}));
    EXPECT_EQ(bus_.Requests().back(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));

    EXPECT_EQ(master_->Transact({0x01, 0x03, 0x00, 0xC7, 0x00, 0x01}, answer),
              CommStatus::IllegalDataAddress);
    EXPECT_EQ(answer, (Bytes{0x01, 0x83, 0x02}));

    const size_t sent = bus_.Requests().size();
    EXPECT_EQ(master_->Transact({0x01}, answer), CommStatus::IllegalTransmitData);
    EXPECT_EQ(master_->Transact({0x01, 0x03, 0x00}, answer), CommStatus::IllegalTransmitData);
    EXPECT_EQ(bus_.Requests().size(), sent);
}

Bytes WithCrc(Bytes frame) {
    modbus::AppendCrc(frame);
    return frame;
}

TEST(AnswerCheckTest, ExpectedLengthFollowsTheRequest) {
    EXPECT_EQ(modbus::ExpectedAnswerLength({0x01, 0x03, 0x00, 0x00, 0x00, 0x11}), 39);
    EXPECT_EQ(modbus::ExpectedAnswerLength({0x01, 0x17, 0x00, 0x00, 0x00, 0x02}), 9);
    EXPECT_EQ(modbus::ExpectedAnswerLength({0x01, 0x06, 0x00, 0x00, 0x00, 0x11}), 8);
    EXPECT_EQ(modbus::ExpectedAnswerLength({0x01, 0x05, 0x00, 0x06, 0xFF, 0x00}), 8);
    EXPECT_EQ(modbus::ExpectedAnswerLength(
                  {0x01, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0xAB, 0xCD, 0x00, 0x01}),
              8);
}

TEST(AnswerCheckTest, ReadAnswers) {
    using enum CommStatus;
    const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x02};
    const Bytes good = WithCrc({0x01, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x07});
    EXPECT_EQ(modbus::CheckAnswer(request, good), Ok);
    Bytes longer = good;
    longer.push_back(0x55); // bytes after the frame are never read
    EXPECT_EQ(modbus::CheckAnswer(request, longer), Ok);
    EXPECT_EQ(modbus::CheckAnswer(request, {}), NoResponse);
    EXPECT_EQ(modbus::CheckAnswer(request, Bytes(good.begin(), good.end() - 1)), ReceiveError);
    Bytes swapped = good;
    std::swap(swapped[7], swapped[8]);
    EXPECT_EQ(modbus::CheckAnswer(request, swapped), ChecksumError);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x02, 0x03, 0x04, 0x00, 0x2A, 0x00, 0x07})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x01, 0x04, 0x04, 0x00, 0x2A, 0x00, 0x07})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x01, 0x03, 0x02, 0x00, 0x2A, 0x00, 0x07})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x01, 0x83, 0x02})), IllegalDataAddress);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x01, 0x83, 0x08})), MemoryParityError);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x01, 0x83, 0x00})), OtherException);
    EXPECT_EQ(modbus::CheckAnswer(request, WithCrc({0x02, 0x83, 0x02})), ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(request, {0x01, 0x83, 0x02, 0x00, 0x00}), ChecksumError);
}

TEST(AnswerCheckTest, WriteAnswersMustEchoTheRequest) {
    using enum CommStatus;
    // Function 6: register 40500, value 0x1234.
    const Bytes single{0x05, 0x06, 0x01, 0xF3, 0x12, 0x34};
    EXPECT_EQ(modbus::CheckAnswer(single, WithCrc(single)), Ok);
    EXPECT_EQ(modbus::CheckAnswer(single, WithCrc({0x05, 0x06, 0x01, 0xF4, 0x12, 0x34})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(single, WithCrc({0x05, 0x06, 0x01, 0xF3, 0x12, 0x35})),
              ReceiveError);
    // Function 5: coil 7 on.
    const Bytes coil{0x01, 0x05, 0x00, 0x06, 0xFF, 0x00};
    EXPECT_EQ(modbus::CheckAnswer(coil, WithCrc(coil)), Ok);
    EXPECT_EQ(modbus::CheckAnswer(coil, WithCrc({0x01, 0x05, 0x00, 0x07, 0xFF, 0x00})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(coil, WithCrc({0x01, 0x05, 0x00, 0x06, 0x00, 0x00})),
              ReceiveError);
    // Function 16: two registers from 40010; the answer echoes address and count only.
    const Bytes multiple{0x07, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0xAB, 0xCD, 0x00, 0x01};
    EXPECT_EQ(modbus::CheckAnswer(multiple, WithCrc({0x07, 0x10, 0x00, 0x09, 0x00, 0x02})), Ok);
    EXPECT_EQ(modbus::CheckAnswer(multiple, WithCrc({0x07, 0x10, 0x00, 0x0A, 0x00, 0x02})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(multiple, WithCrc({0x07, 0x10, 0x00, 0x09, 0x00, 0x01})),
              ReceiveError);
    EXPECT_EQ(modbus::CheckAnswer(multiple, WithCrc({0x07, 0x90, 0x03})), IllegalDataValue);
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
