// The communication tester against the simulated bus: what each data type reads and shows, what
// it writes (checked on the simulator's request log and registers), and that every refused value
// keeps the bus silent.
#include "support/BusFixture.h"

#include "sim/Kel7Model.h"
#include "tester/CommTester.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quarnex::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Fields = CommTester::Fields;

class CommTesterTest : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        profile_.WriteInt("Comm Param", "Baud", 115200);
        bank_ = AddBank(1);
        MakeMaster();
        tester_ = std::make_unique<CommTester>(*master_, prompter_);
    }
    void TearDown() override {
        tester_.reset();
        BusFixture::TearDown();
    }
    CommTester& Tester() { return *tester_; }
    void Type(int type) { ASSERT_TRUE(Tester().SelectDataType(type)) << prompter_.LastText(); }
    // The request bytes without the CRC.
    std::vector<Bytes> Sent() const {
        std::vector<Bytes> out;
        for (Bytes r : bus_.Requests()) {
            r.resize(r.size() - 2);
            out.push_back(r);
        }
        return out;
    }

    std::shared_ptr<sim::RegisterBank> bank_;
    std::unique_ptr<CommTester> tester_;
};

TEST_F(CommTesterTest, OneRegisterShowsSignedHexAndBitsMostSignificantFirst) {
    bank_->Set(0, 0xFFFE);
    bank_->Set(9, 0x8001);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get,
              (std::array<std::string, 3>{"-2", "FFFE", "1111 1111 1111 1110"}));
    Tester().fields.getStart = "40010";
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get,
              (std::array<std::string, 3>{"-32767", "8001", "1000 0000 0000 0001"}));
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{1, 3, 0, 0, 0, 1}, {1, 3, 0, 9, 0, 1}}));
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_EQ(prompter_.WaitDepth(), 0);
    EXPECT_EQ(prompter_.WaitCursorShown(), 2);
}

TEST_F(CommTesterTest, ScaledIntegerJoinsHighAndLowWordAndThreeRegistersAreSigned) {
    for (uint16_t r : {0, 1, 2})
        bank_->Set(r, std::array<uint16_t, 3>{0x0001, 0x86A0, 0x0002}[r]);
    for (uint16_t r : {3, 4, 5})
        bank_->Set(r, std::array<uint16_t, 3>{0xFFFF, 0xFF9C, 0xFFFE}[r - 3]);
    Type(CommTester::kScaledInteger);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get, (std::array<std::string, 3>{"100000", "2", "0"}));
    Tester().fields.getStart = "40004";
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get[0], "-100");
    EXPECT_EQ(Tester().fields.get[1], "-2");

    Type(CommTester::kThreeRegisters);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get, (std::array<std::string, 3>{"-1", "-100", "-2"}));
    EXPECT_EQ(Sent(),
              (std::vector<Bytes>{{1, 3, 0, 0, 0, 3}, {1, 3, 0, 3, 0, 3}, {1, 3, 0, 3, 0, 3}}));
}

TEST_F(CommTesterTest, RefusedIntegersShowTheirBoxAndSendNothing) {
    struct Case {
        int type;
        std::array<const char*, 3> send;
        const char* message; // nullptr: accepted
    };
    const char* range = "Entered value out of range.";
    const char* illegal = "Illegal character in entered value.";
    const Case cases[] = {
        {CommTester::kOneRegister, {"40000", "0", "0"}, range},
        {CommTester::kOneRegister, {"12a", "0", "0"}, illegal},
        {CommTester::kOneRegister, {"-32769", "0", "0"}, range},
        {CommTester::kOneRegister, {"5 ", "0", "0"}, illegal},
        {CommTester::kOneRegister, {"-", "0", "0"}, illegal},
        {CommTester::kOneRegister, {"0x10", "0", "0"}, illegal},
        {CommTester::kOneRegister, {"99999999999999999999999", "0", "0"}, range},
        {CommTester::kThreeRegisters, {"1", "2", "3b"}, illegal},
        {CommTester::kThreeRegisters, {"1", "32768", "x"}, range}, // the first refusal stops
        {CommTester::kScaledInteger, {"2147483648", "0", "0"}, range},
        {CommTester::kScaledInteger, {"-2147483649", "0", "0"}, range},
        {CommTester::kScaledInteger, {"1", "40000", "0"}, range},
        {CommTester::kFloat, {"1.5x", "0", "0"}, illegal},
        {CommTester::kModiconFloat, {"1e9", "0", "0"}, range},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.send[0] + std::string(" ") + c.send[1] + " " + c.send[2]);
        Type(c.type);
        prompter_.Clear();
        for (int row = 0; row < 3; ++row)
            Tester().fields.send[row] = c.send[row];
        Tester().SendData();
        ASSERT_EQ(prompter_.Boxes().size(), 1u);
        EXPECT_EQ(prompter_.Boxes()[0].text, c.message);
        EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
        EXPECT_EQ(prompter_.Boxes()[0].caption, "");
        EXPECT_TRUE(bus_.Requests().empty());
        EXPECT_NE(Tester().RefusedField(), CommTester::Field::None);
    }
    EXPECT_EQ(prompter_.WaitCursorShown(), 0);
}

TEST_F(CommTesterTest, IntegersAtTheirLimitsAndBlankFieldsAreSent) {
    Tester().fields.send[0] = "  -32768";
    Tester().SendData();
    Type(CommTester::kThreeRegisters);
    Tester().fields.send = {"32767", "", "+7"};
    Tester().fields.sendStart = "40011";
    Tester().SendData();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{1, 6, 0, 0, 0x80, 0x00},
                                          {1, 0x10, 0, 10, 0, 3, 6, 0x7F, 0xFF, 0, 0, 0, 7}}));
    EXPECT_EQ(bank_->Get(10), 0x7FFF);
    EXPECT_EQ(bank_->Get(12), 7);
}

TEST_F(CommTesterTest, ScaledMinusOneWritesAllOnesThenTheDecimalsRegister) {
    Type(CommTester::kScaledInteger);
    Tester().fields.send = {"-1", "3", "0"};
    Tester().SendData();
    Tester().fields.send = {"2147483647", "-2", "0"};
    Tester().fields.sendStart = "40004";
    Tester().SendData();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(Sent(),
              (std::vector<Bytes>{{1, 0x10, 0, 0, 0, 3, 6, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x03},
                                  {1, 0x10, 0, 3, 0, 3, 6, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}}));
    EXPECT_EQ(bank_->Get(2), 3);
}

TEST_F(CommTesterTest, FloatGoesHighWordFirstAndModiconLowWordFirstAndReadsBack) {
    Type(CommTester::kFloat);
    Tester().fields.send[0] = " 1.5";
    Tester().SendData();
    EXPECT_EQ(Tester().fields.send[0], "1.500000");
    EXPECT_EQ(bank_->Get(0), 0x3FC0);
    EXPECT_EQ(bank_->Get(1), 0x0000);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get[0], "1.500000");

    Type(CommTester::kModiconFloat);
    Tester().fields.send[0] = "1.5";
    Tester().fields.sendStart = "40011";
    Tester().SendData();
    EXPECT_EQ(bank_->Get(10), 0x0000);
    EXPECT_EQ(bank_->Get(11), 0x3FC0);
    Tester().fields.getStart = "40011";
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get[0], "1.500000");
    // The same registers read the other way round are another number.
    Type(CommTester::kFloat);
    Tester().GetData();
    EXPECT_NE(Tester().fields.get[0], "1.500000");

    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    const std::vector<Bytes> sent = Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], (Bytes{1, 0x10, 0, 0, 0, 2, 4, 0x3F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(sent[2], (Bytes{1, 0x10, 0, 10, 0, 2, 4, 0x00, 0x00, 0x3F, 0xC0}));
}

TEST_F(CommTesterTest, BadFieldsAreRefusedBeforeAnyRequest) {
    struct Case {
        Fields fields;
        CommTester::Field field;
        const char* prompt;
    };
    const char* addressPrompt = "Please enter an integer between 1 and 247.";
    auto with = [](auto change) {
        Fields f;
        change(f);
        return f;
    };
    const Case cases[] = {
        {with([](Fields& f) { f.address = "0"; }), CommTester::Field::Address, addressPrompt},
        {with([](Fields& f) { f.address = "248"; }), CommTester::Field::Address, addressPrompt},
        {with([](Fields& f) { f.address = ""; }), CommTester::Field::Address, addressPrompt},
        {with([](Fields& f) { f.address = "1x"; }), CommTester::Field::Address, addressPrompt},
        {with([](Fields& f) { f.address = "-1"; }), CommTester::Field::Address, addressPrompt},
        {with([](Fields& f) { f.coil = "32768"; }), CommTester::Field::Coil,
         "Please enter an integer."},
        {with([](Fields& f) { f.sendStart = "4o001"; }), CommTester::Field::SendStart,
         "Please enter an integer."},
        {with([](Fields& f) { f.getStart = "99999999999"; }), CommTester::Field::GetStart,
         "Please enter an integer."},
    };
    for (const Case& c : cases) {
        for (int button = 0; button < 4; ++button) {
            SCOPED_TRACE(std::string(c.prompt) + " button " + std::to_string(button));
            prompter_.Clear();
            Tester().fields = c.fields;
            switch (button) {
            case 0:
                Tester().GetData();
                break;
            case 1:
                Tester().SendData();
                break;
            case 2:
                Tester().SetCoil(true);
                break;
            case 3:
                EXPECT_FALSE(Tester().SelectDataType(CommTester::kFloat));
                break;
            }
            ASSERT_EQ(prompter_.Boxes().size(), 1u);
            EXPECT_EQ(prompter_.Boxes()[0].text, c.prompt);
            EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Exclamation);
            EXPECT_EQ(Tester().RefusedField(), c.field);
            EXPECT_TRUE(bus_.Requests().empty());
            EXPECT_EQ(Tester().Type(), CommTester::kOneRegister);
        }
    }
    // The edges of the address range are good ones.
    AddBank(247)->Set(0, 42);
    Tester().fields = Fields{};
    Tester().fields.address = " 247 ";
    prompter_.Clear();
    Tester().GetData();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(Tester().fields.get[0], "42");
}

TEST_F(CommTesterTest, DataTypeSetsLabelsAndVisibleRowsAndResetsTheGetValues) {
    auto labels = [&] {
        std::vector<std::string> out;
        for (int row = 0; row < 3; ++row) {
            out.push_back(Tester().SendLabel(row));
            EXPECT_EQ(Tester().SendRowVisible(row), !Tester().SendLabel(row).empty());
        }
        for (int row = 0; row < 3; ++row)
            out.push_back(Tester().GetLabel(row));
        return out;
    };
    using L = std::vector<std::string>;
    EXPECT_EQ(labels(), (L{"Reg.1:", "", "", "Reg.1:", "Reg.1 (hex):", "Reg.1 (bin):"}));
    bank_->Set(0, 5);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get[1], "0005");
    Type(CommTester::kThreeRegisters);
    EXPECT_EQ(Tester().fields.get, (std::array<std::string, 3>{"0", "0", "0"}));
    EXPECT_EQ(labels(), (L{"Reg.1:", "Reg.2:", "Reg.3:", "Reg.1:", "Reg.2:", "Reg.3:"}));
    Type(CommTester::kScaledInteger);
    EXPECT_EQ(labels(), (L{"Integer:", "No of dec:", "", "Integer:", "No of dec:", ""}));
    Type(CommTester::kFloat);
    EXPECT_EQ(labels(), (L{"Float:", "", "", "Float:", "", ""}));
    Type(CommTester::kModiconFloat);
    EXPECT_EQ(labels(), (L{"Modicon float:", "", "", "Modicon float:", "", ""}));
    EXPECT_FALSE(Tester().SelectDataType(5));
    EXPECT_EQ(Tester().Type(), CommTester::kModiconFloat);
}

TEST_F(CommTesterTest, BusFailuresDashTheVisibleGetFieldsAndAreReportedOnce) {
    // Nobody at address 2: three attempts, then the Retry/Cancel box; Cancel ends it there.
    Type(CommTester::kScaledInteger);
    Tester().fields.get = {"1", "2", "3"};
    Tester().fields.address = "2";
    prompter_.Answer(false);
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get, (std::array<std::string, 3>{"----------", "----------", "3"}));
    EXPECT_EQ(bus_.RequestCount(2), 3u);
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_EQ(prompter_.Boxes()[0].text, "COMMUNICATION ERROR\nNo responce from slave");

    // Register and coil numbers the protocol cannot carry: no traffic, one error box.
    bus_.ClearRequests();
    Tester().fields.address = "1";
    for (int op = 0; op < 3; ++op) {
        SCOPED_TRACE(op);
        prompter_.Clear();
        Tester().fields.getStart = op == 0 ? "50000" : "40001";
        Tester().fields.sendStart = op == 1 ? "40000" : "40001";
        Tester().fields.coil = "0";
        if (op == 0)
            Tester().GetData();
        else if (op == 1)
            Tester().SendData();
        else
            Tester().SetCoil(false);
        ASSERT_EQ(prompter_.Boxes().size(), 1u);
        EXPECT_EQ(prompter_.Boxes()[0].text, "COMMUNICATION ERROR\nIllegal transmit data.");
        EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
    }
    EXPECT_TRUE(bus_.Requests().empty());

    // An exception answer is not repeated and is shown as such.
    prompter_.Clear();
    Type(CommTester::kOneRegister);
    Tester().fields.getStart = "40200"; // outside the simulated block
    Tester().GetData();
    EXPECT_EQ(bus_.RequestCount(1), 1u);
    EXPECT_EQ(Tester().fields.get,
              (std::array<std::string, 3>{"----------", "----------", "----------"}));
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].text,
              "COMMUNICATION ERROR\nIllegal data address (exception responce 02)");
    EXPECT_EQ(prompter_.WaitDepth(), 0);
}

TEST_F(CommTesterTest, SetAndClearCoilWriteTheNumberedCoil) {
    Tester().fields.coil = "5";
    Tester().SetCoil(true);
    Tester().SetCoil(false);
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{1, 5, 0, 4, 0xFF, 0}, {1, 5, 0, 4, 0, 0}}));
    EXPECT_EQ(bank_->CoilWrites(), (std::vector<std::pair<uint16_t, bool>>{{4, true}, {4, false}}));
}

TEST_F(CommTesterTest, FloatSentToAKel7LevelIsHeldByTheInstrumentAndReadsBack) {
    bus_.Attach(5, std::make_shared<sim::Kel7Model>(sim::Kel7Options{}));
    Type(CommTester::kFloat);
    Tester().fields.address = "5";
    Tester().fields.sendStart = "41828"; // LEVEL 2
    Tester().fields.send[0] = "-12.25";
    Tester().SendData();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(bus_.WithModel<sim::Kel7Model>(5, [](sim::Kel7Model& m) { return m.LevelValue(2); }),
              -12.25f);
    Tester().fields.getStart = "41828";
    Tester().GetData();
    EXPECT_EQ(Tester().fields.get[0], "-12.250000");
}

TEST(CommTesterFormat, HexBitsAndFloatTexts) {
    EXPECT_EQ(CommTester::HexText(0x00AB), "00AB");
    EXPECT_EQ(CommTester::BitPattern(0x0000), "0000 0000 0000 0000");
    EXPECT_EQ(CommTester::BitPattern(0xA5F0), "1010 0101 1111 0000");
    EXPECT_EQ(CommTester::FloatText(-0.5), "-0.500000");
    EXPECT_EQ(CommTester::FloatText(3.4028234663852886e38).substr(0, 6), "340282");
}

} // namespace
} // namespace quarnex::test
