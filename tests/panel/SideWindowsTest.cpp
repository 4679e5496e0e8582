#include "monitor/panel/SideWindows.h"

#include "edit/SetupSource.h"
#include "edit/ValueEntry.h"
#include "panel/PanelFixture.h"
#include "session/BusSession.h"

#include <chrono>

namespace quarnex::test {
namespace {

class InfoWindowTest : public Kel7Fixture {};

TEST_F(InfoWindowTest, ShowsTheInstrumentAndRereadsTheProgramEveryEleventhTick) {
    Kel([](sim::Kel7Model& m) { m.SetLoad(50.0); });
    InstrumentInfoWindow window(*master_, kAddress, prompter_);
    EXPECT_EQ(window.Open(), 200);
    EXPECT_EQ(window.Caption(), "KEL 7 Instrument information, address 1");
    EXPECT_EQ(window.Tick(), 200);

    const auto& d = window.GetDisplay();
    EXPECT_EQ(d.name, "KEL 7");
    EXPECT_EQ(d.serialNumber, "12-3456");
    EXPECT_FALSE(d.program.empty());
    EXPECT_NE(d.program, "------");
    EXPECT_LE(d.program.size(), 8u);
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    EXPECT_EQ(d.grossWeight, Weight(50.0, decimals));
    EXPECT_NE(d.inputSignal, "------");
    EXPECT_TRUE(d.editName);
    EXPECT_EQ(ReadsFrom(42998), 1);

    // Name and serial number every active tick, the program text every eleventh.
    for (int tick = 2; tick <= 11; ++tick)
        window.Tick();
    EXPECT_EQ(ReadsFrom(42998), 1);
    EXPECT_EQ(ReadsFrom(44696), 11);
    window.Tick();
    EXPECT_EQ(ReadsFrom(42998), 2);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(InfoWindowTest, InactiveInstrumentShowsOnlyItsWeights) {
    InstrumentInfoWindow window(*master_, kAddress, prompter_);
    window.Tick();
    window.Tick();
    EXPECT_EQ(window.ProgramCountdown(), 9);
    Kel([](sim::Kel7Model& m) { m.SetState(7); });
    EXPECT_EQ(window.Tick(), 1000);
    const auto& d = window.GetDisplay();
    EXPECT_EQ(d.serialNumber, "------");
    EXPECT_EQ(d.program, "------");
    EXPECT_EQ(d.name, "------");
    EXPECT_FALSE(d.editName);
    EXPECT_EQ(window.ProgramCountdown(), 0);

    // Back at work, the program text is read at once.
    Kel([](sim::Kel7Model& m) { m.SetState(2); });
    const int reads = ReadsFrom(42998);
    window.Tick();
    EXPECT_EQ(ReadsFrom(42998), reads + 1);
}

TEST_F(InfoWindowTest, ErrorAndForeignModelBlankTheWeights) {
    InstrumentInfoWindow window(*master_, kAddress, prompter_);
    Kel([](sim::Kel7Model& m) { m.SetError(4); });
    EXPECT_EQ(window.Tick(), 200); // an overloaded instrument still works
    EXPECT_EQ(window.GetDisplay().grossWeight, "------");
    EXPECT_EQ(window.GetDisplay().inputSignal, "------");
    EXPECT_EQ(window.GetDisplay().name, "KEL 7");

    Kel([](sim::Kel7Model& m) {
        m.SetError(0);
        m.Pin(40001, 2004);
    });
    EXPECT_EQ(window.Tick(), 1000);
    EXPECT_EQ(window.GetDisplay().grossWeight, "------");
    EXPECT_EQ(window.GetDisplay().name, "------");
}

TEST_F(InfoWindowTest, RenamingShowsTheNewNameOnTheNextTick) {
    InstrumentInfoWindow window(*master_, kAddress, prompter_);
    window.Tick();
    const auto rename = window.Source().MakeText(window.NameEditRequest());
    EXPECT_EQ(rename->Caption(), "Instrument name");
    EXPECT_EQ(rename->InitialText(), "KEL 7");
    EXPECT_EQ(rename->Ok("Dosing 3"), EntryResult::Accepted);
    window.Tick();
    EXPECT_EQ(window.GetDisplay().name, "Dosing 3");
}

TEST_F(InfoWindowTest, PollRetriesTwiceWithoutARetryBox) {
    InstrumentInfoWindow window(*master_, kAddress, prompter_);
    bus_.InjectFault(kAddress, {sim::Fault::BadCrc, 100});
    EXPECT_EQ(window.Tick(), 1000);
    EXPECT_EQ(bus_.RequestCount(kAddress), 3u);
    EXPECT_EQ(ReadsFrom(40001), 3);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

class LevelsWindowTest : public Kel7Fixture {};

// On the session the window's state goes to the session's thread and back: the display and the
// program text's countdown change only when the result is taken in, and a window closed while
// its tick is out is not called back.
TEST_F(InfoWindowTest, ATickOnTheSessionCarriesTheWindowsStateThereAndBack) {
    QueueDelivery delivery;
    BusSession session(*master_, delivery, prompter_);
    const auto limit = std::chrono::seconds(30);
    bool lateCall = false;
    {
        InstrumentInfoWindow window(*master_, kAddress, prompter_);
        window.UseSession(session);
        for (int tick = 1; tick <= 2; ++tick) {
            int period = -1;
            ASSERT_TRUE(window.TickThen([&](int next) { period = next; }));
            EXPECT_FALSE(window.TickThen([&](int) { period = -2; })); // still out
            if (tick == 1) {
                EXPECT_EQ(window.GetDisplay().name, "------");
            }
            ASSERT_TRUE(delivery.RunUntil([&] { return period != -1; }, limit));
            EXPECT_EQ(period, 200);
            EXPECT_EQ(window.GetDisplay().name, "KEL 7");
        }
        EXPECT_EQ(window.ProgramCountdown(), InstrumentInfoWindow::kProgramEvery - 2);
        EXPECT_EQ(ReadsFrom(42998), 1);
        ASSERT_TRUE(window.TickThen([&](int) { lateCall = true; }));
    }
    bool last = false;
    session.Submit(
        session.OpenOwner(), [](BusSession::Job&) {}, [&] { last = true; });
    ASSERT_TRUE(delivery.RunUntil([&] { return last; }, limit));
    EXPECT_FALSE(lateCall);
}

TEST_F(LevelsWindowTest, PollRetriesTwiceAndStopsAtTheFirstFailedRead) {
    LevelsWindow window(*master_, kAddress, prompter_);
    bus_.InjectFault(kAddress, {sim::Fault::BadCrc, 100});
    EXPECT_EQ(window.Tick(), 500);
    EXPECT_EQ(bus_.RequestCount(kAddress), 3u);
    EXPECT_EQ(ReadsFrom(44039), 3);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(LevelsWindowTest, ShowsLevelsStatusBitsAndSetpoints) {
    Kel([](sim::Kel7Model& m) {
        m.Pin(40045, 0x0081);
        m.SetSetpoints(12.0, 34.0);
        m.SetLevelValue(3, 75.0f);
    });
    LevelsWindow window(*master_, kAddress, prompter_);
    EXPECT_EQ(window.Open(), 100);
    EXPECT_EQ(window.Caption(), "KEL 7 Levels, address 1");
    EXPECT_EQ(window.Tick(), 100);
    const auto& d = window.GetDisplay();
    const std::array<std::string, 8> status = {"1", "0", "0", "0", "0", "0", "0", "1"};
    EXPECT_EQ(d.status, status);
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    EXPECT_EQ(d.levels[2], Weight(75.0, decimals));
    EXPECT_EQ(d.setpoint1, Weight(12.0, decimals));
    EXPECT_EQ(d.setpoint2, Weight(34.0, decimals));
    EXPECT_TRUE(d.editLevels);

    Kel([](sim::Kel7Model& m) { m.Pin(44041, 9); }); // level 1 with 9 decimals
    window.Tick();
    EXPECT_EQ(window.GetDisplay().levels[0], "EEEEEE");
}

TEST_F(LevelsWindowTest, LevelEditorWritesTheLevelValue) {
    LevelsWindow window(*master_, kAddress, prompter_);
    window.Tick();
    EXPECT_EQ(LevelsWindow::LevelCaption(3), "Level 3");
    EXPECT_EQ(LevelsWindow::LevelRegister(3), 41830);
    const auto entry = window.Source().MakeNumber(window.LevelEditRequest(3));
    EXPECT_EQ(entry->Caption(), "Level 3");
    EXPECT_EQ(entry->InitialText(), window.LevelText(3));
    EXPECT_EQ(entry->Ok("250"), EntryResult::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(3); }), 250.0f);
    window.Tick();
    const int decimals = Kel([](sim::Kel7Model& m) { return m.WeightDecimals(); });
    EXPECT_EQ(window.LevelText(3), Weight(250.0, decimals));
}

// A device whose level status register does not exist: the levels read, the status read fails.
TEST_F(LevelsWindowTest, FailedStatusReadBlanksLevelsReadInTheSameTick) {
    auto bank = std::make_shared<sim::RegisterBank>();
    bank->AddBlock(4038, 24); // levels (44039-44062)
    bank->AddBlock(30, 6);    // setpoints (40031-40036)
    bank->Set(4039, 500);
    bus_.Attach(5, bank);
    LevelsWindow window(*master_, 5, prompter_);
    EXPECT_EQ(window.Tick(), 500);
    // The levels were read; the status read after them was refused.
    const auto requests = bus_.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ((requests[0][2] << 8) | requests[0][3], 44039 - 40001);
    EXPECT_EQ((requests[1][2] << 8) | requests[1][3], 40045 - 40001);
    const auto& d = window.GetDisplay();
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(d.levels[n], "------");
        EXPECT_EQ(d.status[n], "------");
    }
    EXPECT_EQ(d.setpoint1, "------");
    EXPECT_FALSE(d.editLevels);
    EXPECT_TRUE(prompter_.Boxes().empty());

    bus_.WithModel<sim::RegisterBank>(5, [](sim::RegisterBank& b) { b.AddBlock(44, 1); });
    EXPECT_EQ(window.Tick(), 100);
    EXPECT_EQ(window.GetDisplay().levels[0], "500");
    EXPECT_TRUE(window.GetDisplay().editLevels);
}

} // namespace
} // namespace quarnex::test
