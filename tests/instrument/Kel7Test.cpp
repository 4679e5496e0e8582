#include "support/BusFixture.h"

#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/InstrumentTexts.h"
#include "instrument/InstrumentType.h"
#include "instrument/Registers.h"
#include "instrument/ValueFormat.h"
#include "sim/FamilyModel.h"
#include "sim/Kel7Model.h"

namespace quarnex::test {
namespace {

constexpr int kAddr = 3;

// The instrument model against a simulated KEL 7 over the pseudo-terminal.
class Kel7 : public BusFixture {
protected:
    void Attach(const sim::Kel7Options& options = {}) {
        bus_.Attach(kAddr, sim::MakeKel7(options));
        if (!master_)
            MakeMaster();
    }
    template <class F> auto Model(F f) { return bus_.WithModel<sim::Kel7Model>(kAddr, f); }
    std::vector<std::pair<int, int>> Shapes() const {
        std::vector<std::pair<int, int>> shapes;
        for (const auto& r : bus_.Requests())
            shapes.emplace_back(r[1], r[1] == 5 ? (r[2] << 8 | r[3]) + 1 : (r[4] << 8 | r[5]));
        return shapes;
    }
    bool Check(InstrumentSetup& setup) {
        return CheckConnectedInstrument(*master_, setup, kAddr, "Edit set-up\n", &prompter_);
    }
};

TEST_F(Kel7, IdentifiesAsRecipeBatcherAndPassesTheCheck) {
    Attach();
    InstrumentType type = 0;
    ASSERT_TRUE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(type, itype::kKel7);
    InstrumentSetup setup;
    ASSERT_TRUE(Check(setup));
    const InstrumentInfo& info = setup.Info();
    EXPECT_EQ(InstrumentTypeName(InstrumentTypeWithVersion(2003, info.setupVersion)),
              "KEL 7 Recipe Batcher");
    EXPECT_EQ(FormatSerialNumber(info.serialNumber), "12-3456");
    EXPECT_EQ(info.normalCount, 159);
    EXPECT_EQ(info.stringCount, 54);
    EXPECT_TRUE(info.BatchingEnabled());
    EXPECT_EQ(setup.Address(), kAddr);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(Kel7, EachIncompatibilityIsRefused) {
    const std::string notCompatible =
        "Edit set-up\nConnected instrument is not compatible with this version of Quarnex";
    sim::Kel7Options v1311, v1300, normal160, strings55;
    v1311.setupVersion = 1311;
    v1300.setupVersion = 1300;
    normal160.normalCount = 160;
    strings55.stringCount = 55;
    for (const auto* options : {&v1311, &v1300, &normal160, &strings55}) {
        Attach(*options);
        prompter_.Clear();
        InstrumentSetup setup;
        EXPECT_FALSE(Check(setup));
        EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{notCompatible});
        EXPECT_EQ(setup.Address(), 0);
    }
    // A KEL 7 of set-up version 1300 is listed as a plain KEL 7.
    EXPECT_EQ(InstrumentTypeName(InstrumentTypeWithVersion(2003, 1300)), "KEL 7");

    bus_.Attach(kAddr, sim::MakeFamilyModel(2001));
    prompter_.Clear();
    InstrumentSetup setup;
    EXPECT_FALSE(Check(setup));
    EXPECT_EQ(prompter_.Texts(),
              std::vector<std::string>{"Edit set-up\nConnected instrument is NOT a KEL 7"});
    InstrumentType type = 0;
    EXPECT_TRUE(ReadInstrumentType(*master_, kAddr, &prompter_, type));
    EXPECT_EQ(BackupRefusalText(type), "PIR 7 is not supported in this program !");

    Attach();
    prompter_.Clear();
    bus_.InjectFault(kAddr, {sim::Fault::Exception, 1, 4});
    EXPECT_FALSE(Check(setup));
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{
                  "COMMUNICATION ERROR\nSlave device failure (exception responce 04)",
                  "Edit set-up\nCommunication error !"}));
}

TEST_F(Kel7, SilentInstrumentOffersRetryThenReports) {
    Attach();
    bus_.InjectFault(kAddr, {sim::Fault::Silence, 3});
    InstrumentSetup setup;
    EXPECT_FALSE(Check(setup));
    ASSERT_EQ(prompter_.Boxes().size(), 3u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_EQ(prompter_.Boxes()[1].text, "COMMUNICATION ERROR\nNo responce from slave");
    EXPECT_EQ(prompter_.Boxes()[2].text, "Edit set-up\nCommunication error !");
    EXPECT_EQ(bus_.RequestCount(kAddr), 3u); // 2 retries
}

TEST_F(Kel7, ReadAllWithRecipesFillsTheCopyAndFormatsEveryValue) {
    Attach();
    InstrumentSetup setup;
    ASSERT_TRUE(Check(setup));
    bus_.ClearRequests();
    ASSERT_TRUE(setup.ReadAll(*master_, {.withRecipes = true, .messages = &prompter_}));
    EXPECT_TRUE(prompter_.Boxes().empty());

    std::vector<std::pair<int, int>> expected = {{3, 100}, {3, 100}, {3, 100}, {3, 18}, {3, 10}};
    for (int k = 1; k <= 24; ++k) {
        expected.push_back({16, 2});
        expected.push_back({3, 50});
    }
    for (int n : {96, 96, 96, 36})
        expected.push_back({3, n});
    expected.push_back({3, 10}); // five special values
    for (int j = 0; j < 5; ++j)
        expected.push_back({3, 16});
    for (int r = 1; r <= 30; ++r) {
        expected.push_back({16, 2});
        expected.push_back({3, 100});
        expected.push_back({3, 20});
    }
    EXPECT_EQ(Shapes(), expected);

    auto clean = [](const std::string& s) {
        return s != placeholder::kChoice && s != placeholder::kUnit &&
               s != placeholder::kSetupValue && s != placeholder::kValue;
    };
    Model([&](sim::Kel7Model& m) {
        for (int i = 0; i < 159; ++i) {
            EXPECT_EQ(setup.Value(i), m.NormalValue(i)) << i;
            EXPECT_FALSE(setup.Label(i).empty()) << i;
            EXPECT_TRUE(clean(setup.ValueText(i))) << i << " " << setup.ValueText(i);
            EXPECT_TRUE(clean(setup.UnitText(i))) << i;
        }
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(setup.Value(169 + j), m.SpecialValue(j)) << j;
            EXPECT_TRUE(setup.Descriptor(j).valid);
            EXPECT_FALSE(setup.Label(169 + j).empty()) << j;
            EXPECT_TRUE(clean(setup.ValueText(169 + j))) << j;
        }
        EXPECT_EQ(setup.Label(174), "");
        for (int b = 0; b < 605; ++b) {
            EXPECT_EQ(setup.BatchValue(b), m.BatchValue(b)) << b;
            EXPECT_FALSE(setup.BatchLabel(b, true).empty()) << b;
            EXPECT_TRUE(clean(setup.BatchValueText(b))) << b << " " << setup.BatchValueText(b);
            EXPECT_TRUE(clean(setup.BatchUnitText(b))) << b;
        }
        for (int i = 0; i < 1800; ++i)
            EXPECT_EQ(setup.RecipeValue(i), m.RecipeValue(i)) << i;
        for (int k = 0; k < 54; ++k)
            EXPECT_EQ(setup.Text(k), m.Text(k)) << k;
    });
}

TEST_F(Kel7, OneActivityIsReadThroughItsSelector) {
    Attach();
    InstrumentSetup setup;
    ASSERT_TRUE(Check(setup));
    Model([](sim::Kel7Model& m) {
        m.SetBatchValue(5 + 25 * 6 + 11, 4.5f);
        m.SetBatchValue(5 + 25 * 7 + 11, 9.5f);
    });
    ASSERT_TRUE(setup.ReadBatch(*master_, 7, {.messages = &prompter_}));
    EXPECT_EQ(setup.BatchValue(5 + 25 * 6 + 11), 4.5);
    EXPECT_EQ(setup.BatchValue(5 + 25 * 7 + 11), 999.0);
    EXPECT_EQ(setup.BatchValue(154), 999.0);
    EXPECT_EQ(Model([](sim::Kel7Model& m) { return m.ActivitySelector(); }), 7);
}

TEST_F(Kel7, RefusalsAreExplainedWithTheInstrumentsReason) {
    Attach();
    Model([](sim::Kel7Model& m) { m.SetState(4); });
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, true, "", "", &prompter_));
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"Remote operation not allowed "
                                                          "(instrument NOT in normal display "
                                                          "mode, err. 127)"});
    // A coil without a command is a bus failure (exception 02), not a command error.
    prompter_.Clear();
    EXPECT_FALSE(SendCommand(*master_, kAddr, 99, true, "", "Could not send.", &prompter_));
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{
                  "COMMUNICATION ERROR\nIllegal data address (exception responce 02)",
                  "Could not send."}));
    // Messages off: nothing shown.
    prompter_.Clear();
    EXPECT_FALSE(SendCommand(*master_, kAddr, coil::kTare, false, "", "", &prompter_));
    EXPECT_TRUE(prompter_.Boxes().empty());

    // A value the instrument refuses in remote set-up.
    Model([](sim::Kel7Model& m) { m.SetState(2); });
    ASSERT_TRUE(SendCommand(*master_, kAddr, coil::kEnterRemoteSetup, true, "", "", &prompter_));
    InstrumentSetup setup;
    ASSERT_TRUE(Check(setup));
    EXPECT_FALSE(WriteSetupFloat(*master_, kAddr, setup.NormalRegister(param::kResolution), 99, 0,
                                 &prompter_));
    const int code = Model([](sim::Kel7Model& m) { return m.CommandError(); });
    EXPECT_NE(code, 0);
    EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{CommandErrorText(code)});
    // An accepted one reads back at once.
    ASSERT_TRUE(WriteSetupFloat(*master_, kAddr, setup.NormalRegister(param::kResolution), 4, 0,
                                &prompter_));
    ASSERT_TRUE(setup.ReadNormal(*master_, {.messages = &prompter_}));
    EXPECT_EQ(setup.ValueText(param::kResolution), "0.02");
    // The name of activity 1 round-trips through the text registers.
    ASSERT_TRUE(WriteSetupText(*master_, kAddr, setup.TextRegister(0), 6, "Flour", &prompter_));
    ASSERT_TRUE(setup.ReadTexts(*master_, {.messages = &prompter_}));
    EXPECT_EQ(setup.Text(0), "Flour       ");
}

TEST_F(Kel7, StartUpHandshakeStartsAWaitingInstrument) {
    sim::Kel7Options options;
    options.startByCommand = true;
    Attach(options);
    int state = -1;
    // Not asked: the state is only learnt.
    ASSERT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, false, &prompter_, state));
    EXPECT_EQ(state, state::kWaitForStart);
    EXPECT_TRUE(prompter_.Boxes().empty());

    prompter_.Answer(true);
    ASSERT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(state, state::kNormal);
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].kind, ScriptedPrompter::Kind::YesNo);
    const auto commands = Model([](sim::Kel7Model& m) { return m.Commands(); });
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].coil, coil::kStart);
    EXPECT_EQ(commands[0].result, 0);

    // Running now: no question.
    prompter_.Clear();
    ASSERT_TRUE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(state, state::kNormal);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // A start the instrument refuses ends the handshake with its reason: here the state
    // register claims "Wait for start" while the instrument is in remote set-up.
    Model([](sim::Kel7Model& m) {
        m.SetState(state::kRemoteSetup);
        m.Pin(reg::kState, state::kWaitForStart);
    });
    prompter_.Answer(true);
    EXPECT_FALSE(StartInstrumentIfWaiting(*master_, kAddr, reg::kState, true, &prompter_, state));
    EXPECT_EQ(prompter_.LastText(),
              "Instrument in wrong state (command can not be performed, err 100)");
}

TEST_F(Kel7, PanelOpensOnlyForTheSupportedSetupVersion) {
    Attach();
    EXPECT_TRUE(MayOpenPanel(*master_, kAddr, itype::kKel7RecipeBatcher, true, &prompter_));
    EXPECT_TRUE(MayOpenPanel(*master_, kAddr, itype::kKel7, false, &prompter_));
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_FALSE(MayOpenPanel(*master_, kAddr, itype::kKel7, true, &prompter_));
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(prompter_.LastText(), "Selected instrument is NOT supported by this program !");
    EXPECT_FALSE(MayOpenPanel(*master_, kAddr, itype::kJov7, false, &prompter_));
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::None);
    EXPECT_EQ(prompter_.LastText(), "JOV 7 not implemented yet !!!");

    sim::Kel7Options old;
    old.setupVersion = 1300;
    Attach(old);
    prompter_.Clear();
    EXPECT_FALSE(MayOpenPanel(*master_, kAddr, itype::kKel7, false, &prompter_));
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter_.LastText(), "Selected instrument is NOT supported by this program !");

    // I/O modules and unknown types have no panel and no refusal text: nothing is shown or read.
    prompter_.Clear();
    bus_.ClearRequests();
    for (bool fromList : {true, false})
        for (InstrumentType type : {itype::kUnknown, itype::kFlin7, itype::kTig7, 12})
            EXPECT_FALSE(MayOpenPanel(*master_, kAddr, type, fromList, &prompter_)) << type;
    EXPECT_FALSE(MayOpenPanel(*master_, kAddr, itype::kKel7RecipeBatcher, false, &prompter_));
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_TRUE(bus_.Requests().empty());
}

} // namespace
} // namespace quarnex::test
