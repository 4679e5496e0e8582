#include "monitor/panel/InstrumentPanel.h"

#include "instrument/InstrumentTexts.h"
#include "panel/PanelFixture.h"
#include "session/BusSession.h"

#include <chrono>

namespace quarnex::test {
namespace {

using Mode = InstrumentPanel::SheetMode;

class PanelTest : public Kel7Fixture {
protected:
    InstrumentPanel MakePanel(bool allFeatures = false) {
        InstrumentPanel panel(*master_, kAddress, prompter_);
        if (allFeatures)
            panel.SetFeatures({true, true, true, true});
        return panel;
    }
};

TEST_F(PanelTest, ShowsTheLiveBlockOfAWorkingInstrument) {
    Kel([](sim::Kel7Model& m) { m.SetLoad(250.0); });
    InstrumentPanel panel = MakePanel(true);
    EXPECT_EQ(panel.Open(), 200);
    EXPECT_TRUE(prompter_.Boxes().empty()); // no start question for a started instrument
    EXPECT_EQ(panel.Tick(), 200);

    const auto& d = panel.GetDisplay();
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    EXPECT_EQ(d.caption, "KEL 7, address 1");
    EXPECT_EQ(d.name, "KEL 7");
    EXPECT_EQ(d.grossWeight, Weight(250.0, decimals));
    EXPECT_EQ(d.netWeight, Weight(250.0, decimals));
    EXPECT_EQ(d.displayedWeight, d.grossWeight);
    EXPECT_EQ(d.grossNet, "GROSS");
    EXPECT_EQ(d.motionZero, "");
    EXPECT_EQ(d.state, StateText(2));
    EXPECT_EQ(d.status, InstrumentErrorText(0));
    EXPECT_EQ(d.message, "");
    EXPECT_TRUE(d.active);
    EXPECT_TRUE(d.tare && d.grossNetButton && d.zero);
    EXPECT_TRUE(d.editSetup && d.showSetup && d.levels && d.info && d.start && d.backup &&
                d.restore);
    // The batching option of the default instrument enables both batching buttons.
    EXPECT_TRUE(panel.BatchingEnabled());
    EXPECT_TRUE(d.editBatching && d.editRecipes);
}

TEST_F(PanelTest, ButtonsOfWindowsNotBuiltStayDisabled) {
    InstrumentPanel panel = MakePanel(false);
    panel.Open();
    panel.Tick();
    const auto& d = panel.GetDisplay();
    EXPECT_TRUE(d.levels && d.info && d.start);
    EXPECT_FALSE(d.editSetup || d.showSetup || d.editBatching || d.editRecipes || d.backup ||
                 d.restore);

    // The set-up sheet alone does not bring the batching and recipe buttons.
    panel.SetFeatures({.setupSheet = true});
    panel.Tick();
    EXPECT_TRUE(panel.GetDisplay().editSetup && panel.GetDisplay().showSetup);
    EXPECT_FALSE(panel.GetDisplay().editBatching || panel.GetDisplay().editRecipes);
}

TEST_F(PanelTest, ZeroIndicationWinsOverMotionAndNetModeShowsTheNetWeight) {
    InstrumentPanel panel = MakePanel();
    Kel([](sim::Kel7Model& m) { m.Pin(40010, 0x0008 | 0x0080); });
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().motionZero, "ZERO");

    Kel([](sim::Kel7Model& m) { m.Pin(40010, 0x0080); });
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().motionZero, "MOTION");

    Kel([](sim::Kel7Model& m) {
        m.Pin(40010, 0x0040);
        m.Pin(40015, 0);
        m.Pin(40016, 1234);
        m.Pin(40017, 2);
    });
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().grossNet, "NET");
    EXPECT_EQ(panel.GetDisplay().displayedWeight, "12.34");
    EXPECT_FALSE(panel.ShowsGross());
}

TEST_F(PanelTest, MemoryErrorMakesThePanelInactive) {
    InstrumentPanel panel = MakePanel(true);
    panel.Tick();
    Kel([](sim::Kel7Model& m) { m.SetError(97); });
    EXPECT_EQ(panel.Tick(), 1000);
    const auto& d = panel.GetDisplay();
    EXPECT_FALSE(d.active);
    EXPECT_TRUE(d.focusClose);
    EXPECT_EQ(d.name, "------");
    EXPECT_EQ(d.displayedWeight, "------");
    EXPECT_FALSE(d.tare || d.grossNetButton || d.zero);
    EXPECT_FALSE(d.editSetup || d.showSetup || d.editBatching || d.editRecipes || d.levels ||
                 d.info || d.start || d.backup || d.restore);
    EXPECT_EQ(panel.SlowCountdown(), 0);
}

TEST_F(PanelTest, OverloadKeepsThePanelActiveWithoutWeights) {
    InstrumentPanel panel = MakePanel(true);
    Kel([](sim::Kel7Model& m) { m.SetError(4); });
    EXPECT_EQ(panel.Tick(), 200);
    const auto& d = panel.GetDisplay();
    EXPECT_TRUE(d.active);
    EXPECT_EQ(d.status, InstrumentErrorText(4));
    EXPECT_EQ(d.displayedWeight, "------");
    EXPECT_EQ(d.grossWeight, "------");
    EXPECT_EQ(d.netWeight, "------");
    EXPECT_EQ(d.grossNet, "");
    EXPECT_EQ(d.motionZero, "");
    EXPECT_FALSE(d.tare || d.grossNetButton || d.zero);
    EXPECT_TRUE(d.editSetup && d.info && d.levels);
}

TEST_F(PanelTest, ErrorStateKeepsTheSetupButtons) {
    InstrumentPanel panel = MakePanel(true);
    Kel([](sim::Kel7Model& m) { m.SetState(6); });
    EXPECT_EQ(panel.Tick(), 200);
    EXPECT_TRUE(panel.GetDisplay().editSetup);
    EXPECT_TRUE(panel.GetDisplay().showSetup);
}

TEST_F(PanelTest, StartingUpInstrumentPollsSlowlyButKeepsItsWeighingKeys) {
    InstrumentPanel panel = MakePanel(true);
    Kel([](sim::Kel7Model& m) {
        m.SetState(0);
        m.SetError(0);
    });
    EXPECT_EQ(panel.Tick(), 1000);
    const auto& d = panel.GetDisplay();
    EXPECT_NE(d.displayedWeight, "------");
    EXPECT_TRUE(d.tare && d.grossNetButton && d.zero);
    EXPECT_FALSE(d.editSetup || d.showSetup || d.levels || d.info || d.start || d.backup);
    EXPECT_EQ(d.name, "------");
}

TEST_F(PanelTest, TooManyDecimalsSpoilOnlyTheGrossWeight) {
    InstrumentPanel panel = MakePanel();
    Kel([](sim::Kel7Model& m) {
        m.SetLoad(10.0);
        m.Pin(40014, 9);
    });
    panel.Tick();
    const auto& d = panel.GetDisplay();
    EXPECT_EQ(d.grossWeight, "EEEEEE");
    EXPECT_EQ(d.displayedWeight, "EEEEEE");
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    EXPECT_EQ(d.netWeight, Weight(10.0, decimals));
}

TEST_F(PanelTest, NameAndWarningChangeEverySixthTickWeightsEveryTick) {
    InstrumentPanel panel = MakePanel();
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().name, "KEL 7");
    const int optionReads = ReadsFrom(40370);
    Kel([](sim::Kel7Model& m) {
        m.SetName("Silo 4");
        m.SetIoStatus(4);
    });
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    for (int tick = 2; tick <= 6; ++tick) {
        Kel([tick](sim::Kel7Model& m) { m.SetLoad(100.0 * tick); });
        panel.Tick();
        EXPECT_EQ(panel.GetDisplay().grossWeight, Weight(100.0 * tick, decimals));
        EXPECT_EQ(panel.GetDisplay().name, "KEL 7") << tick;
        EXPECT_EQ(panel.GetDisplay().message, "") << tick;
    }
    EXPECT_EQ(ReadsFrom(40370), optionReads);
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().name, "Silo 4");
    EXPECT_EQ(panel.GetDisplay().message, "WARNING!   I/O-bus faulty.");
    EXPECT_EQ(ReadsFrom(40370), optionReads + 1);
}

TEST_F(PanelTest, NoBatchingOptionDisablesBatchingButtons) {
    bus_.Attach(2, sim::MakeKel7([] {
                    sim::Kel7Options o;
                    o.batchingOption = false;
                    return o;
                }()));
    InstrumentPanel panel(*master_, 2, prompter_);
    panel.SetFeatures({true, true, true, true});
    panel.Tick();
    EXPECT_FALSE(panel.BatchingEnabled());
    EXPECT_TRUE(panel.GetDisplay().editSetup);
    EXPECT_FALSE(panel.GetDisplay().editBatching || panel.GetDisplay().editRecipes);
}

TEST_F(PanelTest, BusFailureAndForeignModelAreShownWithoutMessageBoxes) {
    InstrumentPanel panel = MakePanel();
    Kel([](sim::Kel7Model& m) { m.Pin(40001, 2001); }); // a PIR 7 answers
    EXPECT_EQ(panel.Tick(), 1000);
    EXPECT_EQ(panel.GetDisplay().state, "------------");
    EXPECT_EQ(panel.GetDisplay().status, "Connected instrument is NOT a KEL 7");
    EXPECT_FALSE(panel.GetDisplay().tare);

    bus_.Detach(kAddress);
    EXPECT_EQ(panel.Tick(), 1000);
    EXPECT_EQ(panel.GetDisplay().status, "COMMUNICATION ERROR");
    EXPECT_EQ(panel.GetDisplay().name, "------");
    EXPECT_EQ(panel.GetDisplay().message, "");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// A poll is repeated twice before the panel gives up, and never asks the user.
TEST_F(PanelTest, PollRetriesTwiceWithoutARetryBox) {
    InstrumentPanel panel = MakePanel();
    bus_.InjectFault(kAddress, {sim::Fault::BadCrc, 100});
    EXPECT_EQ(panel.Tick(), 1000);
    EXPECT_EQ(bus_.RequestCount(kAddress), 3u);
    EXPECT_EQ(ReadsFrom(40001), 3);
    EXPECT_EQ(panel.GetDisplay().status, "COMMUNICATION ERROR");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(PanelTest, WeighingKeysSendTheirCoils) {
    InstrumentPanel panel = MakePanel();
    Kel([](sim::Kel7Model& m) { m.SetLoad(300.0); });
    panel.Tick();
    ASSERT_TRUE(panel.ShowsGross());
    EXPECT_TRUE(panel.Tare());
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().grossNet, "NET");
    // While the panel shows NET the key switches to gross, and back.
    EXPECT_TRUE(panel.GrossNet());
    panel.Tick();
    EXPECT_EQ(panel.GetDisplay().grossNet, "GROSS");
    EXPECT_TRUE(panel.GrossNet());
    Kel([](sim::Kel7Model& m) { m.SetLoad(0.0); });
    panel.Tick();
    EXPECT_TRUE(panel.GrossNet()); // to gross
    EXPECT_TRUE(panel.Zero());
    EXPECT_TRUE(panel.StartInstrument());
    EXPECT_EQ(Coils(), (std::vector<int>{7, 9, 10, 9, 8, 16}));
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(PanelTest, RefusedCommandShowsTheInstrumentsReason) {
    InstrumentPanel panel = MakePanel();
    Kel([](sim::Kel7Model& m) { m.SetState(1); });
    EXPECT_FALSE(panel.Tare());
    EXPECT_EQ(prompter_.LastText(),
              "Remote operation not allowed (instrument NOT in normal display mode, err. 127)");
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Error);
}

TEST_F(PanelTest, OpeningOffersAWaitingInstrumentAStart) {
    Kel([](sim::Kel7Model& m) { m.SetState(1); });
    InstrumentPanel declined = MakePanel();
    declined.Open(); // no answer queued: No
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].text, Text(ids::kStartQuestion));
    EXPECT_TRUE(Coils().empty());
    declined.Tick();
    EXPECT_EQ(declined.GetDisplay().state, StateText(1));
    EXPECT_TRUE(declined.GetDisplay().start); // a waiting instrument is active

    prompter_.Answer(true);
    InstrumentPanel panel = MakePanel();
    panel.Open();
    EXPECT_EQ(Coils(), std::vector<int>{16});
    EXPECT_EQ(Kel([](sim::Kel7Model& m) { return m.State(); }), 2);
}

TEST_F(PanelTest, SetupSheetChecksQuestionAndState) {
    InstrumentPanel panel = MakePanel(true);
    // Declining the question reads nothing.
    const size_t before = bus_.RequestCount(kAddress);
    EXPECT_FALSE(panel.MayOpenSetupSheet(Mode::EditSetup));
    EXPECT_EQ(prompter_.Boxes().back().text, "Entering set-up mode. Do you want to continue ?");
    EXPECT_TRUE(prompter_.Boxes().back().defaultNo); // it stops the weighing and the batching
    EXPECT_EQ(bus_.RequestCount(kAddress), before);

    prompter_.Answer(true);
    EXPECT_TRUE(panel.MayOpenSetupSheet(Mode::EditSetup));
    EXPECT_TRUE(panel.MayOpenSetupSheet(Mode::ShowSetup));
    EXPECT_TRUE(prompter_.WaitDepth() == 0);

    Kel([](sim::Kel7Model& m) { m.SetState(3); });
    EXPECT_TRUE(panel.MayOpenSetupSheet(Mode::ShowSetup));
    prompter_.Clear();
    EXPECT_FALSE(panel.MayOpenSetupSheet(Mode::EditBatching));
    EXPECT_EQ(prompter_.LastText(),
              "Edit of batch set-up not allowed, the instrument is in wrong state.");
    EXPECT_FALSE(panel.MayOpenSetupSheet(Mode::EditRecipes));
    EXPECT_EQ(prompter_.LastText(),
              "Edit of recipes not allowed, the instrument is in wrong state.");
    prompter_.Answer(true);
    EXPECT_FALSE(panel.MayOpenSetupSheet(Mode::EditSetup));
    EXPECT_EQ(prompter_.LastText(),
              "Enter remote set-up/restore not allowed (instrument in wrong state, err. 130)");
    // The start question is never asked here, even for a waiting instrument.
    Kel([](sim::Kel7Model& m) { m.SetState(1); });
    prompter_.Clear();
    EXPECT_TRUE(panel.MayOpenSetupSheet(Mode::EditBatching));
    EXPECT_TRUE(prompter_.Boxes().empty());

    EXPECT_EQ(InstrumentPanel::RestartPeriodAfterSheet(Mode::EditSetup), 0);
    EXPECT_EQ(InstrumentPanel::RestartPeriodAfterSheet(Mode::ShowSetup), 200);
}

TEST_F(PanelTest, BackupCheckRefusesAnUnsupportedSetupVersion) {
    InstrumentPanel panel = MakePanel(true);
    EXPECT_TRUE(panel.MayOpenBackupOrRestore());
    EXPECT_TRUE(prompter_.Boxes().empty());

    bus_.Attach(3, sim::MakeKel7([] {
                    sim::Kel7Options o;
                    o.setupVersion = 1300;
                    return o;
                }()));
    InstrumentPanel old(*master_, 3, prompter_);
    EXPECT_FALSE(old.MayOpenBackupOrRestore());
    EXPECT_FALSE(prompter_.Boxes().empty());
}

// In the program the panel polls on the link's bus session: a tick hands its reads over and
// returns, the display changes only when the result is taken in on the window thread, and a
// panel that goes while its tick is out is never called back.
TEST_F(PanelTest, ATickOnTheSessionReturnsAtOnceAndTheDisplayFollowsItsResult) {
    Kel([](sim::Kel7Model& m) { m.SetLoad(250.0); });
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    QueueDelivery delivery;
    BusSession session(*master_, delivery, prompter_);
    const auto limit = std::chrono::seconds(30);
    bool lateCall = false;
    {
        InstrumentPanel panel(*master_, kAddress, prompter_);
        panel.UseSession(session);
        int period = -1;
        ASSERT_TRUE(panel.Tick([&](int next) { period = next; }));
        EXPECT_TRUE(panel.TickOut());
        EXPECT_FALSE(panel.Tick([&](int) { period = -2; })); // still out: nothing queued
        EXPECT_EQ(panel.SampleCount(), 0);
        EXPECT_EQ(panel.GetDisplay().state, "");
        ASSERT_TRUE(delivery.RunUntil([&] { return period != -1; }, limit));
        EXPECT_EQ(period, 200);
        EXPECT_FALSE(panel.TickOut());
        EXPECT_EQ(panel.SampleCount(), 1);
        EXPECT_EQ(panel.GetDisplay().name, "KEL 7");
        EXPECT_EQ(panel.GetDisplay().grossWeight, Weight(250.0, decimals));
        EXPECT_EQ(ReadsFrom(40001), 1);

        ASSERT_TRUE(panel.Tick([&](int) { lateCall = true; }));
    }
    // A last job: once it is delivered, the closed panel's tick has come and gone.
    bool last = false;
    session.Submit(
        session.OpenOwner(), [](BusSession::Job&) {}, [&] { last = true; });
    ASSERT_TRUE(delivery.RunUntil([&] { return last; }, limit));
    EXPECT_FALSE(lateCall);
}

} // namespace
} // namespace quarnex::test
