// The set-up sheet's bus flows against the simulated KEL 7: which coils in which order, which
// questions, and what keeps the sheet open.
#include "sim/Kel7Fixture.h"

#include "instrument/InstrumentTexts.h"
#include "res/Strings.h"
#include "setup/KelSetUpSheet.h"
#include "setup/ShowModeRefresh.h"

namespace quarnex::test {
namespace {

using namespace sim::kel7;

class KelSetUpSheetTest : public Kel7Fixture {
protected:
    void Start(sim::Kel7Options options = {}) {
        AddKel7(1, options);
        MakeMaster();
    }
    std::vector<int> Coils() {
        return With(1, [](sim::Kel7Model& m) {
            std::vector<int> coils;
            for (const auto& c : m.Commands())
                coils.push_back(c.coil);
            return coils;
        });
    }
    size_t Writes() {
        return With(1, [](sim::Kel7Model& m) { return m.Writes().size(); });
    }
    int State() {
        return With(1, [](sim::Kel7Model& m) { return m.State(); });
    }
    void ClearLogs() {
        With(1, [](sim::Kel7Model& m) { m.ClearLogs(); });
    }
    // The texts of the questions asked, in order.
    std::vector<std::string> Questions() {
        std::vector<std::string> out;
        for (const auto& box : prompter_.Boxes())
            if (box.kind == ScriptedPrompter::Kind::YesNo)
                out.push_back(box.text);
        return out;
    }

    const SheetMode show_ = SheetMode::ShowSetup;
    const SheetMode edit_ = SheetMode::EditSetup;
    const SheetMode batching_ = SheetMode::EditBatching;
    const SheetMode recipes_ = SheetMode::EditRecipes;
};

TEST_F(KelSetUpSheetTest, EditSetupEntersRemoteSetupAndOkChecksThenSaves) {
    Start();
    KelSetUpSheet sheet(*master_, 1, edit_, prompter_);
    ASSERT_TRUE(sheet.Create()) << prompter_.LastText();
    EXPECT_EQ(Coils(), std::vector<int>{kCoilRemoteSetup});
    EXPECT_EQ(State(), kStateRemoteSetup);
    EXPECT_EQ(sheet.Caption(), "KEL set-up, address 1 (Edit set-up)");
    EXPECT_TRUE(sheet.CancelShown());
    // Eight standard pages, Flow rate, the three batching pages and Special menu: the simulated
    // instrument has both options and special parameters.
    EXPECT_EQ(sheet.Pages().size(), 13u);
    EXPECT_EQ(sheet.Setup().Value(57), 1.0);

    // No keeps the sheet open and sends nothing.
    ClearLogs();
    prompter_.Answer(false);
    EXPECT_FALSE(sheet.OkCheck());
    EXPECT_TRUE(Coils().empty());
    EXPECT_EQ(Questions(), std::vector<std::string>{"Save changes and exit set-up ?"});
    EXPECT_FALSE(prompter_.Boxes().back().defaultNo); // saving is what OK is for

    prompter_.Answer(true);
    EXPECT_TRUE(sheet.OkCheck());
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilCheck, kCoilSave}));
    EXPECT_EQ(State(), kStateNormal);
    EXPECT_EQ(prompter_.PendingAnswers(), 0u);
}

TEST_F(KelSetUpSheetTest, CancelAsksAndLeavesWithoutSaving) {
    Start();
    KelSetUpSheet sheet(*master_, 1, edit_, prompter_);
    ASSERT_TRUE(sheet.Create());
    ClearLogs();
    prompter_.Answer(false);
    EXPECT_FALSE(sheet.CancelCheck());
    EXPECT_TRUE(Coils().empty());
    prompter_.Answer(true);
    EXPECT_TRUE(sheet.CancelCheck());
    EXPECT_EQ(Coils(), std::vector<int>{kCoilDiscard});
    EXPECT_EQ(Questions(), std::vector<std::string>(2, "Exit set-up WITHOUT save ?"));
    EXPECT_TRUE(prompter_.Boxes().back().defaultNo); // Return alone never throws edits away
    EXPECT_EQ(State(), kStateNormal);
}

TEST_F(KelSetUpSheetTest, ARefusedCheckShowsTheInstrumentsReasonAndNoKeepsRemoteSetup) {
    Start();
    KelSetUpSheet sheet(*master_, 1, edit_, prompter_);
    ASSERT_TRUE(sheet.Create());
    With(1, [](sim::Kel7Model& m) { // deadweight calibration with its second point unstored
        m.SetNormalValue(32, 1.0f);
        m.SetNormalValue(40, 2.0f);
        m.SetUnstoredMask(0x0002);
    });
    ClearLogs();
    prompter_.Answer(true);  // save?
    prompter_.Answer(false); // still save despite the warning?
    EXPECT_FALSE(sheet.OkCheck());
    EXPECT_EQ(Coils(), std::vector<int>{kCoilCheck});
    ASSERT_EQ(Questions().size(), 2u);
    EXPECT_EQ(Questions()[1], "WARNING !  \nCalibration not finished (all calibration points not "
                              "stored, err. 168) ! \n\nDo you still want to save the set-up ?");
    EXPECT_EQ(Questions()[1], SaveWarningText(168));
    EXPECT_EQ(State(), kStateRemoteSetup);
}

// A check that failed for another reason than the instrument's verdict says so, and the
// set-up is not saved unchecked.
TEST_F(KelSetUpSheetTest, ACheckThatDidNotHappenIsShownAndNothingIsSaved) {
    Start();
    KelSetUpSheet sheet(*master_, 1, edit_, prompter_);
    ASSERT_TRUE(sheet.Create());
    ClearLogs();
    prompter_.Clear();
    sim::FaultSpec fault;
    fault.kind = sim::Fault::Exception;
    fault.exceptionCode = 4;
    bus_.InjectFault(1, fault);
    prompter_.Answer(true);
    EXPECT_FALSE(sheet.OkCheck());
    EXPECT_EQ(Coils(), std::vector<int>{kCoilCheck}); // and no save
    ASSERT_EQ(prompter_.Boxes().size(), 2u);
    EXPECT_NE(prompter_.LastText().find("Slave device failure (exception responce 04)"),
              std::string::npos);
    EXPECT_EQ(State(), kStateRemoteSetup);
}

TEST_F(KelSetUpSheetTest, ShowSetupChangesNothingAndClosesWithoutTraffic) {
    Start();
    KelSetUpSheet sheet(*master_, 1, show_, prompter_);
    ASSERT_TRUE(sheet.Create());
    EXPECT_TRUE(Coils().empty());
    EXPECT_EQ(sheet.Caption(), "KEL set-up, address 1 (Show set-up)");
    EXPECT_FALSE(sheet.CancelShown());
    ClearLogs();
    const int requests = bus_.RequestCount(1);
    EXPECT_TRUE(sheet.OkCheck());
    EXPECT_TRUE(sheet.CancelCheck()); // Escape and the close request
    EXPECT_EQ(bus_.RequestCount(1), requests);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(KelSetUpSheetTest, BatchingEntersBatchSetupOnlyWhenNotInItAndAlwaysLeavesIt) {
    Start();
    {
        KelSetUpSheet sheet(*master_, 1, batching_, prompter_);
        ASSERT_TRUE(sheet.Create()) << prompter_.LastText();
        EXPECT_EQ(Coils(), std::vector<int>{kCoilBatchEnter});
        EXPECT_FALSE(sheet.CancelShown());
        EXPECT_EQ(sheet.Caption(), "KEL set-up, address 1 (Edit Batching set-up)");
        EXPECT_TRUE(sheet.OkCheck());
        EXPECT_EQ(Coils(), (std::vector<int>{kCoilBatchEnter, kCoilBatchLeave}));
    }
    ASSERT_EQ(Coil(1, kCoilBatchEnter), CommStatus::Ok); // 47820 now reads non-zero
    ClearLogs();
    KelSetUpSheet sheet(*master_, 1, recipes_, prompter_);
    ASSERT_TRUE(sheet.Create());
    EXPECT_TRUE(Coils().empty());
    EXPECT_EQ(sheet.Caption(), "KEL set-up, address 1 (Edit Recipes)");
    EXPECT_TRUE(sheet.CancelCheck()); // Escape: no question, batch set-up is left
    EXPECT_EQ(Coils(), std::vector<int>{kCoilBatchLeave});
    EXPECT_TRUE(Questions().empty());
}

TEST_F(KelSetUpSheetTest, BatchingWithoutTheOptionNeverOpens) {
    sim::Kel7Options options;
    options.batchingOption = false;
    Start(options);
    {
        // The instrument refuses to enter batch set-up: nothing to leave.
        KelSetUpSheet sheet(*master_, 1, batching_, prompter_);
        EXPECT_FALSE(sheet.Create());
        EXPECT_EQ(Coils(), std::vector<int>{kCoilBatchEnter});
        EXPECT_EQ(prompter_.Boxes().size(), 1u);
    }
    // An instrument that reports batch set-up already but lacks the option: the sheet reads it,
    // refuses and leaves batch set-up without a further message.
    With(1, [](sim::Kel7Model& m) { m.Pin(47820, 1); });
    ClearLogs();
    prompter_.Clear();
    KelSetUpSheet sheet(*master_, 1, recipes_, prompter_);
    EXPECT_FALSE(sheet.Create());
    EXPECT_EQ(Coils(), std::vector<int>{kCoilBatchLeave});
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_TRUE(sheet.Pages().empty());
}

TEST_F(KelSetUpSheetTest, AnInstrumentWithoutOptionsAndSpecialParametersHasTheStandardPages) {
    sim::Kel7Options options;
    options.batchingOption = false;
    options.flowRateOption = false;
    options.specialCount = 0;
    Start(options);
    KelSetUpSheet sheet(*master_, 1, show_, prompter_);
    ASSERT_TRUE(sheet.Create());
    // General, Calib param, Calibration, Communication, Level supervision, Inputs, Outputs,
    // Analogue outputs.
    EXPECT_EQ(sheet.Pages().size(), 8u);
    EXPECT_EQ(sheet.Pages().front(), PageId::General);
    EXPECT_EQ(sheet.Pages().back(), PageId::AnalogueOutputs);
}

TEST_F(KelSetUpSheetTest, CreationFailsWithoutEnteringSetupWhenTheInstrumentIsMissing) {
    Start();
    KelSetUpSheet sheet(*master_, 7, edit_, prompter_);
    prompter_.Answer(false); // the Retry/Cancel box of the identification read
    EXPECT_FALSE(sheet.Create());
    EXPECT_TRUE(sheet.Pages().empty());
    EXPECT_FALSE(prompter_.Boxes().empty());
    EXPECT_TRUE(Coils().empty());
}

TEST_F(KelSetUpSheetTest, ShowModeRefreshCyclesThroughItsFourReads) {
    Start();
    KelSetUpSheet sheet(*master_, 1, show_, prompter_);
    ASSERT_TRUE(sheet.Create());
    ShowModeRefresh refresh = ShowModeRefresh::ForStandardPage();
    EXPECT_EQ(refresh.PeriodMs(), 500);
    EXPECT_FALSE(ShowModeRefresh::Activate(sheet.Source()).failed);

    With(1, [](sim::Kel7Model& m) { m.SetNormalValue(3, 6.0f); }); // display contrast
    With(1, [](sim::Kel7Model& m) { m.SetSpecialValue(0, 42.0f); });
    const int before = bus_.RequestCount(1);
    for (int tick = 0; tick < 4; ++tick) {
        EXPECT_EQ(refresh.PhaseIndex(), static_cast<size_t>(tick));
        const ShowModeRefresh::Step step = refresh.Tick(sheet.Source());
        EXPECT_TRUE(step.update);
        EXPECT_FALSE(step.failed);
    }
    EXPECT_EQ(refresh.PhaseIndex(), 0u);
    EXPECT_EQ(refresh.CycleActivity(), 2); // activity 1 was read, 2 is next
    EXPECT_EQ(sheet.Setup().Value(3), 6.0);
    EXPECT_EQ(sheet.Setup().Value(169), 42.0);
    EXPECT_GT(bus_.RequestCount(1), before);
    EXPECT_TRUE(prompter_.Boxes().empty());

    // The instrument goes silent: every read fails without a message.
    bus_.Detach(1);
    EXPECT_TRUE(ShowModeRefresh::Activate(sheet.Source()).failed);
    EXPECT_TRUE(refresh.Tick(sheet.Source()).failed);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
