#include "edit/ValueEntry.h"

#include "edit/ValueTarget.h"
#include "instrument/Commands.h"
#include "instrument/InstrumentSetup.h"
#include "panel/PanelFixture.h"

namespace quarnex::test {
namespace {

constexpr int kLevel1 = 41826;
constexpr int kActivitySelector = 41410;
constexpr int kActivityWindow = 41412;
constexpr int kRecipeSelector = 41462;
constexpr int kRecipeWindow = 41464;
constexpr int kLowAdjust1 = 41000 + 2 * 145;
constexpr int kAdjustEnd1 = 41812;
constexpr int kName = 44696;
const std::string kNotNormal =
    "Remote operation not allowed (instrument NOT in normal display mode, err. 127)";

class ValueEntryTest : public Kel7Fixture {
protected:
    // The instrument the entries write to.
    ValueTarget& Instrument() {
        if (!target_)
            target_ = std::make_unique<BusValueTarget>(*master_, kAddress);
        return *target_;
    }
    void Command(int coil) {
        ASSERT_TRUE(SendCommand(*master_, kAddress, coil, true, {}, {}, &prompter_));
    }
    size_t WriteCount() {
        return Kel([](sim::Kel7Model& m) { return m.Writes().size(); });
    }
    std::vector<int> WrittenRegisters() {
        return Kel([](sim::Kel7Model& m) {
            std::vector<int> regs;
            for (const auto& w : m.Writes())
                regs.push_back(w.reg);
            return regs;
        });
    }

    std::unique_ptr<BusValueTarget> target_;
};

TEST_F(ValueEntryTest, NumberIsWrittenOnlyWhenTypedCorrectly) {
    NumericEntry entry(Instrument(), kLevel1, "Level 1", "0.00", prompter_);
    EXPECT_EQ(entry.Ok("12a"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), "Illegal character in entered value.");
    EXPECT_EQ(entry.Ok("100000000"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), "Entered value out of range.");
    EXPECT_EQ(WriteCount(), 0u);

    EXPECT_EQ(entry.Ok(" 12.5"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 12.5f);
    EXPECT_EQ(entry.Value(), 12.5);
    EXPECT_EQ(prompter_.WaitDepth(), 0);

    NumericEntry cancelled(Instrument(), kLevel1, "Level 1", "12.5", prompter_);
    EXPECT_EQ(cancelled.Cancel(), EntryResult::Rejected);
    EXPECT_EQ(WriteCount(), 1u);
}

TEST_F(ValueEntryTest, RefusedNumberKeepsTheDialogOpen) {
    Kel([](sim::Kel7Model& m) { m.SetState(0); });
    NumericEntry entry(Instrument(), kLevel1, "Level 1", "0", prompter_);
    EXPECT_EQ(entry.Ok("7"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), kNotNormal);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 100.0f); // as before
}

TEST_F(ValueEntryTest, SelectorIsWrittenBeforeTheValueAndBothMustSucceed) {
    Command(17); // batch set-up
    // Activity 3, its seventh value (a weight).
    NumericEntry entry(Instrument(), kActivityWindow + 12, "03:Target:", "0", prompter_);
    entry.SetSelector(kActivitySelector, 3);
    EXPECT_EQ(entry.Ok("40"), EntryResult::Accepted) << prompter_.LastText();
    EXPECT_EQ(WrittenRegisters(), (std::vector<int>{kActivitySelector, kActivityWindow + 12}));
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.BatchValue(5 + 25 * 2 + 6); }), 40.0f);

    // An activity the instrument does not have: the value is never written.
    NumericEntry wrong(Instrument(), kActivityWindow + 12, "25:Target:", "0", prompter_);
    wrong.SetSelector(kActivitySelector, 25);
    EXPECT_EQ(wrong.Ok("50"), EntryResult::StayOpen);
    EXPECT_EQ(WrittenRegisters().back(), kActivitySelector);
    EXPECT_FALSE(prompter_.Boxes().empty());
}

TEST_F(ValueEntryTest, ChoiceListsItsStringsAndWritesTheIndex) {
    // "Activity type:" choices 15200-15210, the current value 2.
    ChoiceEntry entry(Instrument(), kLevel1, "Activity type:", 15200, 15210, 2, prompter_);
    ASSERT_EQ(entry.Items().size(), 11u);
    EXPECT_EQ(entry.Items()[0], Text(15200));
    EXPECT_EQ(entry.Items()[10], Text(15210));
    EXPECT_EQ(entry.Preselected(), 2);
    EXPECT_EQ(entry.Ok(10), EntryResult::Accepted); // the final entry is offered and written
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 10.0f);

    // A value outside the list preselects nothing, and OK without a choice writes nothing.
    ChoiceEntry outside(Instrument(), kLevel1, "x", 15200, 15210, 99, prompter_);
    EXPECT_EQ(outside.Preselected(), -1);
    EXPECT_EQ(outside.Ok(-1), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), "Please select a value from the list.");
    EXPECT_EQ(WriteCount(), 1u);
}

TEST_F(ValueEntryTest, ChoiceConfirmationDecidesWhetherToWrite) {
    ChoiceEntry entry(Instrument(), kLevel1, "Mode:", 15200, 15210, 0, prompter_);
    entry.SetConfirmation("Really change the mode ?");
    EXPECT_EQ(entry.Ok(3), EntryResult::Accepted); // No: closes with OK, writes nothing
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(WriteCount(), 0u);
    prompter_.Answer(true);
    EXPECT_EQ(entry.Ok(3), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 3.0f);

    Kel([](sim::Kel7Model& m) { m.SetState(0); });
    prompter_.Answer(true);
    EXPECT_EQ(entry.Ok(4), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), kNotNormal);
}

TEST_F(ValueEntryTest, ActivityChoiceListsActivitiesInUseAndWritesTheNumber) {
    std::vector<ActivityEntry> activities;
    for (int k = 1; k <= 24; ++k)
        activities.push_back({k, 0.0, ""});
    activities[1] = {2, 1.0, "Flour       "};
    activities[4] = {5, 3.0, "Dump"};
    ActivityChoiceEntry entry(Instrument(), kRecipeWindow + 2 * 4, "Step 1:", activities, 5,
                              prompter_);
    entry.SetSelector(kRecipeSelector, 7);
    EXPECT_EQ(entry.Items(), (std::vector<std::string>{"00:---", "02:Flour", "05:Dump"}));
    EXPECT_EQ(entry.Numbers(), (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(entry.Preselected(), 2);

    Command(17);
    EXPECT_EQ(entry.Ok(2), EntryResult::Accepted);
    EXPECT_EQ(WrittenRegisters(), (std::vector<int>{kRecipeSelector, kRecipeWindow + 8}));
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.RecipeValue(60 * 6 + 4); }), 5.0f);
    EXPECT_EQ(entry.Ok(0), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.RecipeValue(60 * 6 + 4); }), 0.0f);
}

TEST_F(ValueEntryTest, ActivitiesComeFromTheSetupCopy) {
    InstrumentSetup setup;
    setup.Reset();
    for (int b = 5; b < InstrumentSetup::kBatchValues; b += 25)
        setup.SetBatchValue(b, 0.0);
    setup.SetBatchValue(5 + 25 * 3, 2.0); // activity 4 weighs out
    setup.SetText(3, "Sugar");
    const std::vector<ActivityEntry> activities = ActivityChoiceEntry::ActivitiesOf(setup);
    ASSERT_EQ(activities.size(), 24u);
    ActivityChoiceEntry entry(Instrument(), kRecipeWindow, "Step", activities, 4, prompter_);
    EXPECT_EQ(entry.Items(), (std::vector<std::string>{"00:---", "04:Sugar"}));
    EXPECT_EQ(entry.Preselected(), 1);
}

TEST_F(ValueEntryTest, AdjustmentThatCannotWriteItsInitialValueNeverOpens) {
    AdjustmentEntry entry(*master_, kAddress, kLowAdjust1, kAdjustEnd1, "1: Low adjust:", 120,
                          prompter_);
    EXPECT_FALSE(entry.Create()); // not in remote set-up: refused
    EXPECT_FALSE(prompter_.Boxes().empty());
}

TEST_F(ValueEntryTest, AdjustmentAppliesAndEndsWithTheSecondRegister) {
    Command(100);
    AdjustmentEntry entry(*master_, kAddress, kLowAdjust1, kAdjustEnd1, "1: Low adjust:", 120,
                          prompter_);
    ASSERT_TRUE(entry.Create());
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.NormalValue(145); }), 120.0f);
    EXPECT_FALSE(entry.ApplyEnabled());
    entry.Edited();
    EXPECT_TRUE(entry.ApplyEnabled());
    EXPECT_FALSE(entry.Apply("12.5"));
    EXPECT_EQ(prompter_.LastText(), "Please enter an integer between -2147483648 and 2147483647.");
    EXPECT_TRUE(entry.ApplyEnabled());
    EXPECT_TRUE(entry.Apply("135"));
    EXPECT_FALSE(entry.ApplyEnabled());
    EXPECT_TRUE(entry.Applied());
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.NormalValue(145); }), 135.0f);

    entry.Edited();
    EXPECT_EQ(entry.Ok("140"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.NormalValue(145); }), 140.0f);
    EXPECT_EQ(WrittenRegisters().back(), kAdjustEnd1);
}

TEST_F(ValueEntryTest, AdjustmentClosedWithoutApplyingCountsAsCancelled) {
    Command(100);
    AdjustmentEntry entry(*master_, kAddress, kLowAdjust1, kAdjustEnd1, "1: Low adjust:", 0,
                          prompter_);
    ASSERT_TRUE(entry.Create());
    EXPECT_EQ(entry.Ok("0"), EntryResult::Rejected); // nothing pending, nothing applied
    EXPECT_EQ(WrittenRegisters(), (std::vector<int>{kLowAdjust1, kAdjustEnd1}));

    AdjustmentEntry refused(*master_, kAddress, kLowAdjust1, kAdjustEnd1, "1: Low adjust:", 0,
                            prompter_);
    ASSERT_TRUE(refused.Create());
    refused.Edited();
    EXPECT_EQ(refused.Ok("40000"), EntryResult::StayOpen); // beyond the instrument's range
    EXPECT_EQ(refused.Close(), EntryResult::Rejected);
    EXPECT_EQ(WrittenRegisters().back(), kAdjustEnd1);
}

TEST_F(ValueEntryTest, ShuntNeedsRemoteSetupBeforeConnecting) {
    ShuntEntry entry(*master_, kAddress, kLevel1, "Calibration force", "0", prompter_);
    EXPECT_EQ(entry.Tick(), 1000);
    EXPECT_FALSE(entry.Ready());
    EXPECT_FALSE(entry.Connect());
    EXPECT_EQ(prompter_.LastText(), "Weight signal not valid!");
    EXPECT_TRUE(Coils().empty());
    // Typed values are written like any number.
    EXPECT_EQ(entry.Ok("2.5"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 2.5f);
}

TEST_F(ValueEntryTest, ShuntMeasuresWhileConnectedAndDisconnectsOnOk) {
    Command(100);
    ShuntEntry entry(*master_, kAddress, kLevel1, "Calibration force", "0", prompter_);
    entry.Tick();
    ASSERT_TRUE(entry.Ready());
    ASSERT_TRUE(entry.Connect());
    EXPECT_TRUE(Kel([](sim::Kel7Model& m) { return m.ShuntConnected(); }));
    EXPECT_TRUE(entry.Measuring());
    EXPECT_FALSE(entry.ConnectEnabled());
    EXPECT_EQ(entry.MeasuredText(), "----------");
    EXPECT_EQ(entry.Ok("1"), EntryResult::StayOpen); // no measurement yet
    EXPECT_EQ(prompter_.LastText(), "Weight signal not valid!");

    EXPECT_EQ(entry.Tick(), 200);
    ASSERT_TRUE(entry.Ready());
    const std::string shown = entry.MeasuredText();
    EXPECT_EQ(shown.find(' '), std::string::npos); // no blanks in front of a left-aligned value
    EXPECT_EQ(entry.Ok("ignored"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), std::stof(shown));
    EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.ShuntConnected(); }));
    EXPECT_EQ(Coils(), (std::vector<int>{100, 12, 11}));
}

// The shunt dialog asks once a tick, measuring or not, and never shows a box for it.
TEST_F(ValueEntryTest, ShuntTicksReadOnceWithoutARetryBox) {
    Command(100);
    ShuntEntry entry(*master_, kAddress, kLevel1, "Calibration force", "0", prompter_);
    entry.Tick();
    ASSERT_TRUE(entry.Connect());
    bus_.ClearRequests();
    bus_.InjectFault(kAddress, {sim::Fault::BadCrc, 100});
    EXPECT_EQ(entry.Tick(), 200);
    EXPECT_EQ(bus_.RequestCount(kAddress), 1u);
    EXPECT_EQ(ReadsFrom(40001), 1);
    EXPECT_EQ(entry.MeasuredText(), "----------");
    EXPECT_FALSE(entry.Ready());

    ShuntEntry idle(*master_, kAddress, kLevel1, "Calibration force", "0", prompter_);
    EXPECT_EQ(idle.Tick(), 1000);
    EXPECT_EQ(bus_.RequestCount(kAddress), 2u);
    EXPECT_EQ(ReadsFrom(40009), 1);
    EXPECT_FALSE(idle.Ready());
    EXPECT_TRUE(prompter_.Boxes().empty());
    bus_.ClearFaults();
    EXPECT_EQ(entry.Cancel(), EntryResult::Rejected);
}

TEST_F(ValueEntryTest, ShuntCancelAndLeftoverResistorAreDisconnected) {
    Command(100);
    Command(12);
    ShuntEntry entry(*master_, kAddress, kLevel1, "Calibration force", "0", prompter_);
    entry.Tick(); // error 19: a resistor left connected is taken off
    EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.ShuntConnected(); }));
    entry.Tick();
    ASSERT_TRUE(entry.Connect());
    EXPECT_EQ(entry.Cancel(), EntryResult::Rejected);
    EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.ShuntConnected(); }));
    EXPECT_EQ(Coils(), (std::vector<int>{100, 12, 11, 12, 11}));
    EXPECT_EQ(WriteCount(), 0u);
}

TEST_F(ValueEntryTest, TextIsWrittenAndARefusalKeepsTheDialogOpen) {
    TextEntry entry(Instrument(), kName, 6, "Instrument name", "KEL 7", prompter_);
    EXPECT_EQ(entry.MaxLength(), 12);
    EXPECT_EQ(entry.Ok("Mixer line 2"), EntryResult::Accepted);
    EXPECT_EQ(Kel([](sim::Kel7Model& m) { return m.Name(); }).substr(0, 12), "Mixer line 2");
    EXPECT_EQ(entry.Ok("Thirteen char"), EntryResult::StayOpen);

    Kel([](sim::Kel7Model& m) { m.SetState(0); });
    EXPECT_EQ(entry.Ok("Other"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(), kNotNormal);
    EXPECT_EQ(entry.Cancel(), EntryResult::Rejected);
}

TEST_F(ValueEntryTest, AddressPromptChecksRangeBeforeAnyTraffic) {
    AddressEntry entry(*master_, prompter_);
    for (const char* text : {"0", "248", "", "1x"}) {
        EXPECT_EQ(entry.Ok(text), EntryResult::StayOpen) << text;
        EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 1 and 247.");
    }
    EXPECT_EQ(bus_.Requests().size(), 0u);

    EXPECT_EQ(entry.Ok(" 1"), EntryResult::Accepted);
    EXPECT_EQ(entry.Address(), 1);
    EXPECT_EQ(entry.Type(), itype::kKel7);
}

TEST_F(ValueEntryTest, AddressPromptRefusesUnknownModelsAndSilentAddresses) {
    auto bank = AddBank(9);
    bank->Set(0, 1234);
    AddressEntry entry(*master_, prompter_);
    EXPECT_EQ(entry.Ok("9"), EntryResult::StayOpen);
    EXPECT_EQ(prompter_.LastText(),
              "Selected instrument is not a Orvatek instrument supported by this program!");
    prompter_.Clear();
    EXPECT_EQ(entry.Ok("30"), EntryResult::StayOpen); // nobody answers: Retry/Cancel, then shown
    EXPECT_FALSE(prompter_.Boxes().empty());
    EXPECT_EQ(entry.Address(), 0);
}

} // namespace
} // namespace quarnex::test
