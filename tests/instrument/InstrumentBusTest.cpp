#include "support/BusFixture.h"

#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"

namespace quarnex::test {
namespace {

constexpr int kAddr = 7;
constexpr uint16_t At(int reg) {
    return static_cast<uint16_t>(reg - 40001);
}

// A plain register bank that identifies itself as a KEL 7 with the given block sizes. Every
// register exists, so the bus traffic of the model's reads can be counted and measured.
class InstrumentBus : public BusFixture {
protected:
    void SetUp() override {
        BusFixture::SetUp();
        bank_ = std::make_shared<sim::RegisterBank>();
        bus_.Attach(kAddr, bank_);
        Identify(2003, 1310, 159, 54, 5);
        MakeMaster();
    }
    void Identify(float code, int version, int normal, int strings, int special) {
        bank_->SetFloat(At(40200), code);
        bank_->SetFloat(At(40202), 7310);
        bank_->SetFloat(At(40204), 104);
        bank_->SetFloat(At(40208), 12345);
        bank_->SetFloat(At(40370), 18);
        bank_->SetFloat(At(40372), 41400);
        bank_->SetFloat(At(40374), 605);
        bank_->SetFloat(At(40376), 43100);
        bank_->SetFloat(At(40378), static_cast<float>(strings));
        bank_->SetFloat(At(40380), 41000);
        bank_->SetFloat(At(40382), static_cast<float>(normal));
        bank_->SetFloat(At(40384), 41338);
        bank_->SetFloat(At(40386), static_cast<float>(special));
        bank_->SetFloat(At(40394), static_cast<float>(version));
        bank_->SetFloat(At(40396), 2);
    }
    void Refuse(uint8_t exception) {
        bus_.InjectFault(kAddr, {sim::Fault::Exception, 1, exception});
    }
    // (function, register count or value count) of every request since the last clear.
    std::vector<std::pair<int, int>> Shapes() const {
        std::vector<std::pair<int, int>> shapes;
        for (const auto& r : bus_.Requests())
            shapes.emplace_back(r[1], r[1] == 5 ? (r[2] << 8 | r[3]) + 1 : (r[4] << 8 | r[5]));
        return shapes;
    }
    std::shared_ptr<sim::RegisterBank> bank_;
};

TEST_F(InstrumentBus, ReadsTypeAndIdentificationBlock) {
    bank_->Set(At(40001), 2004);
    InstrumentType type = -1;
    EXPECT_TRUE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(type, itype::kYax7);

    InstrumentInfo info;
    EXPECT_TRUE(ReadInstrumentInfo(*master_, kAddr, &prompter_, info));
    EXPECT_EQ(info.type, itype::kKel7);
    EXPECT_EQ(info.programNumber, 7310.0f);
    EXPECT_EQ(info.firstSpecialRegister, 41338);
    EXPECT_EQ(info.setupVersion, 1310);
    EXPECT_TRUE(info.BatchingEnabled());
    EXPECT_EQ(Shapes(), (std::vector<std::pair<int, int>>{{3, 1}, {3, 10}, {3, 30}}));
    const auto lines = InstrumentInfoLines(info);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0].label + lines[0].text, "Instrument type:KEL 7");
    EXPECT_EQ(lines[3].label + lines[3].text, "Serial number:01-2345");
    EXPECT_EQ(lines[4].label + lines[4].text, "Enabled software options:18");
    EXPECT_EQ(lines[14].label + lines[14].text, "Set-up data version:2");
    EXPECT_TRUE(prompter_.Boxes().empty());

    // An unknown type ends the read after the first request, cleared but successful.
    bus_.ClearRequests();
    bank_->SetFloat(At(40200), 2005);
    EXPECT_TRUE(ReadInstrumentInfo(*master_, kAddr, &prompter_, info));
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.setupVersion, 0);
    EXPECT_EQ(bus_.Requests().size(), 1u);
}

TEST_F(InstrumentBus, BusFailureWhileIdentifyingIsShownAndClears) {
    Refuse(2);
    InstrumentType type = 5;
    EXPECT_FALSE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(type, 0);
    EXPECT_EQ(prompter_.LastText(),
              "COMMUNICATION ERROR\nIllegal data address (exception responce 02)");

    // The first block is read, the second does not exist: nothing partly read survives.
    InstrumentInfo info;
    bank_->AddBlock(0, 300);
    prompter_.Clear();
    EXPECT_FALSE(ReadInstrumentInfo(*master_, kAddr, &prompter_, info));
    EXPECT_EQ(info.programNumber, 0.0f);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(info.type, 0);
}

// Each identification read, and the read of 40007 that explains a refusal, is repeated as often
// as it may be (type 3, identification blocks 2, set-up version 1, 40007 3) before the
// Retry/Cancel box is offered. Checksum faults keep the count exact without waiting.
TEST_F(InstrumentBus, IdentificationAndExplanationReadsRepeatAsOftenAsTheyMay) {
    const auto Garble = [&](int times) {
        bus_.ClearRequests();
        prompter_.Clear();
        if (times > 0)
            bus_.InjectFault(kAddr, {sim::Fault::BadCrc, times});
    };
    InstrumentType type = -1;
    Garble(3);
    EXPECT_TRUE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(bus_.RequestCount(kAddr), 4u);
    Garble(4);
    EXPECT_FALSE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(bus_.RequestCount(kAddr), 4u);
    ASSERT_FALSE(prompter_.Boxes().empty());
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);

    InstrumentInfo info;
    Garble(2);
    EXPECT_TRUE(ReadInstrumentInfo(*master_, kAddr, &prompter_, info));
    EXPECT_EQ(bus_.RequestCount(kAddr), 3u + 1u);
    Garble(3);
    EXPECT_FALSE(ReadInstrumentInfo(*master_, kAddr, &prompter_, info));
    EXPECT_EQ(bus_.RequestCount(kAddr), 3u);
    ASSERT_FALSE(prompter_.Boxes().empty());
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);

    // The set-up version asked before a panel opens on a KEL 7: one repeat.
    Garble(1);
    EXPECT_TRUE(MayOpenPanel(*master_, kAddr, itype::kKel7, false, &prompter_));
    EXPECT_EQ(bus_.RequestCount(kAddr), 2u);
    Garble(2);
    EXPECT_FALSE(MayOpenPanel(*master_, kAddr, itype::kKel7, false, &prompter_));
    EXPECT_EQ(bus_.RequestCount(kAddr), 2u);

    // A refusal, then 40007 answered only at its fourth attempt: the explanation still comes.
    bank_->Set(At(40007), 127);
    Garble(0);
    Refuse(3);
    bus_.InjectFault(kAddr, {sim::Fault::BadCrc, 3});
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, true, "", "", &prompter_));
    EXPECT_EQ(bus_.RequestCount(kAddr), 1u + 4u);
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{"Remote operation not allowed (instrument NOT in "
                                       "normal display mode, err. 127)"});
}

TEST_F(InstrumentBus, CompatibilityCheckRefusesEachMismatch) {
    struct Case {
        float code;
        int version, normal, strings, special;
        const char* refusal; // nullptr: accepted
    };
    const char* notKel7 = "Connected instrument is NOT a KEL 7";
    const char* notCompatible =
        "Connected instrument is not compatible with this version of Quarnex";
    const Case cases[] = {
        {2003, 1310, 159, 54, 20, nullptr},       {2001, 1310, 159, 54, 5, notKel7},
        {2004, 1310, 159, 54, 5, notKel7},        {2005, 1310, 159, 54, 5, notKel7},
        {2003, 1311, 159, 54, 5, notCompatible},  {2003, 1300, 159, 54, 5, notCompatible},
        {2003, 1310, 160, 54, 5, notCompatible},  {2003, 1310, 159, 55, 5, notCompatible},
        {2003, 1310, 159, 54, 21, notCompatible},
    };
    for (const Case& c : cases) {
        Identify(c.code, c.version, c.normal, c.strings, c.special);
        prompter_.Clear();
        InstrumentSetup setup;
        setup.SetValue(3, 1);
        const bool ok = CheckConnectedInstrument(*master_, setup, kAddr, "Set-up\n", &prompter_);
        EXPECT_EQ(setup.Value(3), 999.0); // the stores were reset first
        if (!c.refusal) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(setup.Address(), kAddr);
            EXPECT_TRUE(prompter_.Boxes().empty());
            continue;
        }
        EXPECT_FALSE(ok) << c.code << " " << c.version;
        EXPECT_EQ(setup.Address(), 0);
        ASSERT_EQ(prompter_.Boxes().size(), 1u);
        EXPECT_EQ(prompter_.LastText(), std::string("Set-up\n") + c.refusal);
        EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
    }

    // A bus failure: the failure itself, then the caller's heading with "Communication error !".
    prompter_.Clear();
    Refuse(2);
    InstrumentSetup setup;
    EXPECT_FALSE(CheckConnectedInstrument(*master_, setup, kAddr, "", &prompter_));
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data address (exception responce 02)",
                  "Communication error !"}));
}

TEST_F(InstrumentBus, RefusedCommandIsExplainedByRegister40007) {
    bank_->Set(At(40007), 127);
    Refuse(3);
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, true, "TARE\n", "extra", &prompter_));
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{"TARE\nRemote operation not allowed (instrument NOT in "
                                       "normal display mode, err. 127)"});
    // Exception 07 too, and a code from the exit group keeps its prefix.
    prompter_.Clear();
    bank_->Set(At(40007), 179);
    Refuse(7);
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kLeaveAndSave, true, "", "", &prompter_));
    EXPECT_EQ(prompter_.LastText(),
              "Exit set-up/restore not allowed,\n bandwidth mismatch (Err. 179)");

    // Exception 02 is a bus failure: its own text, then the extra text in a second box.
    prompter_.Clear();
    Refuse(2);
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, true, "TARE\n", "extra", &prompter_));
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data address (exception responce 02)", "extra"}));

    // A refusal whose explanation cannot be read degrades to the bus text of the refusal.
    prompter_.Clear();
    bus_.InjectFault(kAddr, {sim::Fault::Exception, 2, 3});
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, true, "", "", &prompter_));
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data value (exception responce 03)"});

    // Messages off: silent, and 40007 is not even read.
    prompter_.Clear();
    bus_.ClearRequests();
    Refuse(3);
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, false, "", "extra", &prompter_));
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_EQ(bus_.Requests().size(), 1u);

    // Success: the coil is written on.
    bus_.ClearRequests();
    EXPECT_TRUE(SendCommand(*master_, kAddr, coil::kCheckSetup, true, "", "", &prompter_));
    EXPECT_EQ(Shapes(), (std::vector<std::pair<int, int>>{{5, 105}}));
    EXPECT_EQ(bus_.Requests()[0][4], 0xFF);
}

TEST_F(InstrumentBus, WritesFloatsAndTextsWithTheirRetries) {
    EXPECT_TRUE(WriteSetupFloat(*master_, kAddr, 41032, 2.5f, 0, &prompter_));
    EXPECT_EQ(bank_->GetFloat(At(41032)), 2.5f);
    // A slow write is tried once: a silent instrument gets no second request.
    bus_.ClearRequests();
    bus_.InjectFault(kAddr, {sim::Fault::Silence, 5});
    prompter_.Answer(false); // Cancel in the retry box
    EXPECT_FALSE(WriteSetupFloat(*master_, kAddr, 41032, 3.0f, 1000, &prompter_));
    EXPECT_EQ(bus_.RequestCount(kAddr), 1u);
    bus_.ClearFaults();

    prompter_.Clear();
    bank_->Set(At(40007), 101);
    Refuse(3);
    EXPECT_FALSE(WriteSetupFloat(*master_, kAddr, 41032, 1e6f, 0, &prompter_));
    EXPECT_EQ(prompter_.LastText(), "Overrange entry (Err. 101)");

    EXPECT_TRUE(WriteSetupText(*master_, kAddr, 43100, 3, "ABC", &prompter_));
    EXPECT_EQ(bank_->Get(At(43100)), 0x4142);
    EXPECT_EQ(bank_->Get(At(43101)), 0x4320);
    EXPECT_EQ(bank_->Get(At(43102)), 0x2020);
    bank_->Set(At(43101), 0x4300);
    std::string text;
    EXPECT_TRUE(ReadTextRegisters(*master_, kAddr, 43100, 3, true, &prompter_, text));
    EXPECT_EQ(text, "ABC");

    bus_.ClearRequests();
    text = "old";
    EXPECT_FALSE(ReadTextRegisters(*master_, kAddr, 43100, 101, true, &prompter_, text));
    EXPECT_FALSE(WriteTextRegisters(*master_, kAddr, 43100, 101, "x", true, &prompter_));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(bus_.Requests().empty());
}

TEST_F(InstrumentBus, ReadAllIsBatchedToTheProtocolLimits) {
    for (int i = 0; i < 159; ++i)
        bank_->SetFloat(At(41000 + 2 * i), static_cast<float>(i));
    bank_->SetFloat(At(41338 + 2), 42.5f);
    bank_->Set(At(41338 + 2 + 1000), 0x5478); // descriptor of special 1: "Tx"
    bank_->Set(At(43100 + 6 * 53), 0x4C61);   // text 53 "La"
    InstrumentSetup setup;
    ASSERT_TRUE(CheckConnectedInstrument(*master_, setup, kAddr, "", &prompter_));
    bus_.ClearRequests();
    ASSERT_TRUE(setup.ReadAll(*master_, {.withRecipes = true, .messages = &prompter_}));

    std::vector<std::pair<int, int>> expected = {{3, 100}, {3, 100}, {3, 100}, {3, 18}, {3, 10}};
    for (int k = 1; k <= 24; ++k) {
        expected.push_back({16, 2});
        expected.push_back({3, 50});
    }
    for (int n : {96, 96, 96, 36})
        expected.push_back({3, n});
    expected.push_back({3, 10});
    for (int j = 0; j < 5; ++j)
        expected.push_back({3, 16});
    for (int r = 1; r <= 30; ++r) {
        expected.push_back({16, 2});
        expected.push_back({3, 100});
        expected.push_back({3, 20});
    }
    EXPECT_EQ(Shapes(), expected);
    EXPECT_EQ(expected.size(), 4u + 1 + 48 + 4 + 1 + 5 + 90);
    EXPECT_EQ(setup.Value(158), 158.0);
    EXPECT_EQ(setup.Value(170), 42.5);
    EXPECT_EQ(setup.Value(173), 0.0);
    EXPECT_EQ(setup.Value(174), 999.0); // only five special values
    EXPECT_EQ(setup.Label(170), "Tx");
    EXPECT_EQ(setup.Text(53), "La");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(InstrumentBus, PartialReadsFillOnlyTheirSlots) {
    Identify(2003, 1310, 120, 54, 0);
    for (int i = 0; i < 159; ++i)
        bank_->SetFloat(At(41000 + 2 * i), 1.0f);
    for (int j = 0; j < 25; ++j)
        bank_->SetFloat(At(41412 + 2 * j), 7.0f);
    InstrumentSetup setup;
    ASSERT_TRUE(CheckConnectedInstrument(*master_, setup, kAddr, "", &prompter_));
    bus_.ClearRequests();
    ASSERT_TRUE(setup.ReadNormal(*master_, {.messages = &prompter_}));
    EXPECT_EQ(Shapes(), (std::vector<std::pair<int, int>>{{3, 100}, {3, 100}, {3, 40}}));
    EXPECT_EQ(setup.Value(119), 1.0);
    EXPECT_EQ(setup.Value(120), 999.0);

    bus_.ClearRequests();
    ASSERT_TRUE(setup.ReadBatch(*master_, 7, {.messages = &prompter_}));
    EXPECT_EQ(bank_->GetFloat(At(41410)), 7.0f);
    EXPECT_EQ(setup.BatchValue(154), 999.0);
    EXPECT_EQ(setup.BatchValue(155), 7.0);
    EXPECT_EQ(setup.BatchValue(179), 7.0);
    EXPECT_EQ(setup.BatchValue(180), 999.0);
    EXPECT_EQ(Shapes(), (std::vector<std::pair<int, int>>{{3, 10}, {16, 2}, {3, 50}}));

    // No special parameters: no descriptor is read and the special rows have no labels.
    bus_.ClearRequests();
    ASSERT_TRUE(setup.ReadSpecial(*master_, {.withDescriptors = true, .messages = &prompter_}));
    EXPECT_TRUE(bus_.Requests().empty());
    EXPECT_EQ(setup.Label(169), "");

    // A failure stops the read, keeps what was read and is shown once.
    bus_.ClearRequests();
    bus_.InjectFault(kAddr, {sim::Fault::Exception, 1, 2});
    EXPECT_FALSE(setup.ReadRecipes(*master_, 0, {.messages = &prompter_}));
    EXPECT_EQ(bus_.Requests().size(), 1u);
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data address (exception responce 02)"});
    EXPECT_FALSE(setup.ReadBatch(*master_, 25, {.messages = &prompter_}));
}

TEST_F(InstrumentBus, StartQuestionOnlyInWaitForStartWhenAsked) {
    int state = -1;
    bank_->Set(At(40008), 2);
    EXPECT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(state, 2);
    bank_->Set(At(40008), 1);
    EXPECT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, false, &prompter_, state));
    EXPECT_EQ(state, 1);
    EXPECT_TRUE(prompter_.Boxes().empty());

    prompter_.Answer(false);
    bus_.ClearRequests();
    EXPECT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(state, 1);
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::YesNo);
    EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(prompter_.LastText(), "Instrument is not started (in Wait for start state).\n Do "
                                    "you want to start the instrument ?");
    EXPECT_EQ(bus_.Requests().size(), 1u); // no coil after No

    // A failed state read is shown and ends the handshake.
    prompter_.Clear();
    Refuse(2);
    EXPECT_FALSE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data address (exception responce 02)"});
}

} // namespace
} // namespace quarnex::test
