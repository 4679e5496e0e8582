#include "support/BusFixture.h"

#include "monitor/QuarnexView.h"
#include "res/Strings.h"
#include "session/BusSession.h"
#include "sim/Kel7Model.h"

#include <condition_variable>
#include <mutex>

namespace quarnex::test {
namespace {

constexpr uint16_t kKel7 = 2003, kPir7 = 2001, kJov7 = 2002, kFlin7 = 2006;

class ViewTest : public BusFixture {
protected:
    // A device that answers the live block and the set-up version like an instrument.
    std::shared_ptr<sim::RegisterBank> Instrument(int address, uint16_t code = kKel7,
                                                  float setupVersion = 1310.0f) {
        auto bank = AddBank(address);
        bank->AddBlock(393, 2);
        bank->Set(0, code);
        bank->SetFloat(393, setupVersion);
        SetGross(*bank, 1000, 1);
        return bank;
    }
    static void SetGross(sim::RegisterBank& bank, int32_t raw, uint16_t decimals) {
        bank.Set(11, static_cast<uint16_t>(static_cast<uint32_t>(raw) >> 16));
        bank.Set(12, static_cast<uint16_t>(raw & 0xFFFF));
        bank.Set(13, decimals);
    }
    void Watch(std::initializer_list<int> addresses) {
        AddressFlags watched{};
        for (int a : addresses)
            watched[a] = true;
        SaveWatchedSet(profile_, watched);
    }
    void Start() {
        view_.reset();
        session_.reset();
        MakeMaster();
        // Inline: every tick's polls are done when Tick returns.
        session_ =
            std::make_unique<BusSession>(*master_, delivery_, prompter_, BusSession::Mode::Inline);
        view_ = std::make_unique<QuarnexView>(*session_, *master_, profile_, prompter_);
        view_->SetSeedClock([] { return int64_t{1}; });
        view_->InitialUpdate();
    }
    // The polls keep the view's own short receive margin. On a loaded machine an answer may
    // miss it once and the present instrument's one repeat then brings it in; such a repeat
    // sends the same frame again at once, so it is not counted here as a request of its own.
    std::vector<std::vector<uint8_t>> Polls() const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& r : bus_.Requests())
            if (out.empty() || out.back() != r)
                out.push_back(r);
        return out;
    }
    size_t PollCount(int address) const {
        size_t n = 0;
        for (const auto& r : Polls())
            n += r[0] == address;
        return n;
    }
    // The addresses asked since the last call, one entry per request.
    std::vector<int> Asked() {
        std::vector<int> out;
        for (const auto& r : Polls())
            out.push_back(r[0]);
        bus_.ClearRequests();
        return out;
    }
    // Ticks until the list has gone once over every row (the position back at the top).
    void Pass() {
        do
            view_->Tick();
        while (view_->LastPolledRow() != -1);
    }
    const QuarnexView::Item& Row(size_t i) { return view_->Items().at(i); }

    void TearDown() override {
        view_.reset();
        session_.reset();
        BusFixture::TearDown();
    }

    QueueDelivery delivery_;
    std::unique_ptr<BusSession> session_;
    std::unique_ptr<QuarnexView> view_;
};

TEST_F(ViewTest, EmptyWatchedSetListsNothingAndSendsNothing) {
    Instrument(1);
    Watch({});
    Start();
    EXPECT_TRUE(view_->Items().empty());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(view_->Tick(), QuarnexView::kTimerPeriodMs);
    EXPECT_TRUE(bus_.Requests().empty());
}

TEST_F(ViewTest, BudgetFollowsTheBaudRate) {
    const std::pair<int, int> table[] = {{300, 1},   {600, 1},   {1200, 1},  {2400, 1},
                                         {4800, 2},  {9600, 4},  {19200, 6}, {38400, 8},
                                         {57600, 8}, {115200, 8}};
    for (auto [baud, budget] : table)
        EXPECT_EQ(QuarnexView::Budget(baud), budget) << baud;
}

TEST_F(ViewTest, TickAt9600PollsFourVisibleInstrumentsAndContinuesWhereItStopped) {
    for (int a = 1; a <= 10; ++a)
        Instrument(a);
    Watch({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Start();
    ASSERT_EQ(view_->Items().size(), 10u);
    // Each poll is the live block and the set-up version: two requests to one address.
    view_->Tick();
    EXPECT_EQ(Asked(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
    view_->Tick();
    EXPECT_EQ(Asked(), (std::vector<int>{5, 5, 6, 6, 7, 7, 8, 8}));
    view_->Tick(); // the end of the list ends the tick early
    EXPECT_EQ(Asked(), (std::vector<int>{9, 9, 10, 10}));
    EXPECT_EQ(view_->LastPolledRow(), -1);
    view_->Tick();
    EXPECT_EQ(Asked(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));

    // The requests themselves: 17 registers from 40001, then two registers at 40394.
    view_->Tick();
    const auto sent = Polls();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].begin(), sent[0].begin() + 6),
              (std::vector<uint8_t>{5, 3, 0, 0, 0, 17}));
    EXPECT_EQ(std::vector<uint8_t>(sent[1].begin(), sent[1].begin() + 6),
              (std::vector<uint8_t>{5, 3, 0x01, 0x89, 0, 2}));
}

TEST_F(ViewTest, OnlyVisibleRowsArePolled) {
    for (int a = 1; a <= 10; ++a)
        Instrument(a);
    Watch({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    profile_.WriteInt("Comm Param", "Baud", 115200); // budget 8
    Start();
    // Rows 3-5 show, and the row just below the page counts as visible too.
    view_->SetVisibleRange(3, 2);
    view_->Tick();
    EXPECT_EQ(Asked(), (std::vector<int>{4, 4, 5, 5, 6, 6}));
    view_->Tick();
    EXPECT_EQ(Asked(), (std::vector<int>{4, 4, 5, 5, 6, 6}));
}

TEST_F(ViewTest, ListsModelAddressAndWeightAndRewritesOnlyChanges) {
    Instrument(2, kKel7, 1310.0f);
    Instrument(4, kKel7, 1300.0f);
    Instrument(5, kPir7, 0.0f);
    Instrument(6, kFlin7, 0.0f);
    Watch({2, 4, 5, 6});
    Start();
    // Before the first poll: two spaces, no image, address, no value.
    EXPECT_EQ(Row(0).instrument, "  ");
    EXPECT_EQ(Row(0).address, 2);
    EXPECT_EQ(Row(0).image, QuarnexView::kImageNone);
    EXPECT_FALSE(view_->State(2).absent);

    Pass();
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
    EXPECT_EQ(Row(0).image, QuarnexView::kImageKel);
    EXPECT_EQ(Row(0).value, "   100.0");
    EXPECT_EQ(view_->State(2).lastType, itype::kKel7RecipeBatcher);
    EXPECT_EQ(Row(1).instrument, "  KEL 7");
    EXPECT_EQ(view_->State(4).lastType, itype::kKel7);
    EXPECT_EQ(Row(2).instrument, "  PIR 7");
    EXPECT_EQ(Row(2).image, QuarnexView::kImagePir);
    EXPECT_EQ(Row(2).value, "   100.0");
    // An I/O module is named but has no weight.
    EXPECT_EQ(Row(3).instrument, "  FLIN 7");
    EXPECT_EQ(Row(3).image, QuarnexView::kImageOther);
    EXPECT_EQ(Row(3).value, "");

    const uint64_t unchanged = Row(0).revision;
    Pass();
    EXPECT_EQ(Row(0).revision, unchanged);
    bus_.WithModel<sim::RegisterBank>(2, [](sim::RegisterBank& b) { SetGross(b, 12345, 2); });
    Pass();
    EXPECT_EQ(Row(0).value, "  123.45");
    EXPECT_NE(Row(0).revision, unchanged);
}

TEST_F(ViewTest, ValueTextRules) {
    uint16_t live[17] = {};
    live[11] = 0, live[12] = 12345, live[13] = 2;
    EXPECT_EQ(QuarnexView::ValueText(live), "  123.45");
    live[13] = 0;
    EXPECT_EQ(QuarnexView::ValueText(live), "   12345");
    // Negative: 0xFFFF 0xFF9C is -100.
    live[11] = 0xFFFF, live[12] = 0xFF9C, live[13] = 2;
    EXPECT_EQ(QuarnexView::ValueText(live), "   -1.00");
    // Wider than eight characters is not cut.
    live[11] = 0x05F5, live[12] = 0xE0FF, live[13] = 1; // 99999999
    EXPECT_EQ(QuarnexView::ValueText(live), "9999999.9");
    // More than six decimals cannot be shown.
    live[13] = 7;
    EXPECT_EQ(QuarnexView::ValueText(live), "---------");
    // Net mode (status bit 6) shows the net weight instead.
    live[11] = 0, live[12] = 500, live[13] = 1;
    live[14] = 0, live[15] = 42, live[16] = 0;
    live[9] = 0x0040;
    EXPECT_EQ(QuarnexView::ValueText(live), "      42");
    live[9] = 0x00BF; // every other bit leaves gross
    EXPECT_EQ(QuarnexView::ValueText(live), "    50.0");
    // An instrument error hides the weight.
    live[8] = 97;
    EXPECT_EQ(QuarnexView::ValueText(live), "---------");
}

TEST_F(ViewTest, InstrumentErrorShowsDashes) {
    auto kel = std::make_shared<sim::Kel7Model>();
    bus_.Attach(1, kel);
    Watch({1});
    Start();
    Pass();
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
    EXPECT_NE(Row(0).value, "---------");
    bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { m.SetError(97); });
    Pass();
    EXPECT_EQ(Row(0).value, "---------");
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
}

TEST_F(ViewTest, UnpluggedInstrumentIsClearedAndReturnsWithinTenPasses) {
    Instrument(1);
    Instrument(2);
    Watch({1, 2});
    Start();
    Pass();
    ASSERT_EQ(Row(1).instrument, "  KEL 7 Recipe Batcher");
    auto device = bus_.Model(2);
    bus_.Detach(2);
    bus_.ClearRequests();
    Pass();
    EXPECT_TRUE(view_->State(2).absent);
    EXPECT_EQ(Row(1).instrument, "");
    EXPECT_EQ(Row(1).image, QuarnexView::kImageNone);
    EXPECT_EQ(Row(1).value, "");
    EXPECT_EQ(view_->State(2).lastType, itype::kUnknown);
    // A present instrument is asked with one repeat: two attempts at the live block.
    EXPECT_EQ(bus_.RequestCount(2), 2u);

    bus_.Attach(2, device);
    bus_.ClearRequests();
    int passes = 0;
    while (view_->State(2).absent && passes < 20) {
        Pass();
        ++passes;
    }
    EXPECT_LE(passes, 11);
    EXPECT_EQ(Row(1).instrument, "  KEL 7 Recipe Batcher");
    EXPECT_EQ(Row(1).value, "   100.0");
    // While absent it was asked once (no repeats) and then left alone for several passes.
    EXPECT_EQ(bus_.RequestCount(2), 2u); // the poll that found it again: live block and version
    EXPECT_EQ(PollCount(1), static_cast<size_t>(2 * passes));
}

TEST_F(ViewTest, UnknownTypeCodeCountsAsAbsentWithoutExtraBudget) {
    for (int a = 1; a <= 5; ++a)
        Instrument(a, a == 1 ? 2005 : kKel7);
    Watch({1, 2, 3, 4, 5});
    Start();
    view_->Tick();
    // 2005 is no type: absent, but its poll costs one unit like any other, so four are asked.
    EXPECT_EQ(Asked(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
    EXPECT_TRUE(view_->State(1).absent);
    EXPECT_EQ(Row(0).instrument, "");
}

TEST_F(ViewTest, FailedPollCostsTwoUnits) {
    for (int a = 2; a <= 5; ++a)
        Instrument(a);
    Watch({1, 2, 3, 4, 5});
    Start();
    view_->Tick();
    // Address 1 is silent: its two attempts cost two units, so only 2 and 3 follow.
    EXPECT_EQ(bus_.RequestCount(1), 2u);
    EXPECT_EQ(Asked(), (std::vector<int>{1, 2, 2, 3, 3}));
    EXPECT_TRUE(view_->State(1).absent);
}

TEST_F(ViewTest, ResetAsksEveryAddressOnceWithoutRepeatsAndSavesTheSelection) {
    Instrument(3);
    Watch({1});
    Start();
    AddressFlags selection{};
    selection[3] = selection[9] = true;
    ASSERT_TRUE(view_->ApplySelection(selection));
    EXPECT_EQ(LoadWatchedSet(profile_), selection);
    ASSERT_EQ(view_->Items().size(), 2u);
    EXPECT_EQ(Row(0).address, 3);
    for (int a : {1, 3, 9}) {
        EXPECT_TRUE(view_->State(a).absent);
        EXPECT_EQ(view_->State(a).skipCounter, QuarnexView::kSkipCounterReset);
        EXPECT_EQ(view_->State(a).lastType, itype::kUnknown);
    }
    Pass();
    EXPECT_EQ(bus_.RequestCount(9), 1u); // absent after a reset: asked once, no repeat
    EXPECT_FALSE(view_->State(3).absent);
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
    EXPECT_GE(view_->State(9).skipCounter, 0);
    EXPECT_LE(view_->State(9).skipCounter, 6);
}

TEST_F(ViewTest, SettingsChangeReopensThePortAndStartsOver) {
    Instrument(1);
    Watch({1});
    Start();
    Pass();
    ASSERT_FALSE(view_->State(1).absent);
    master_->Settings().SetBaudIndex(9);
    view_->SettingsChanged();
    EXPECT_EQ(SerialOf(*master_).ModeString(), "baud=115200 parity=N data=8 stop=2");
    EXPECT_TRUE(view_->State(1).absent);
    EXPECT_EQ(Row(0).instrument, "  ");
    Pass();
    EXPECT_FALSE(view_->State(1).absent);
}

TEST_F(ViewTest, DoubleClickActsOnTheLastTypeSeen) {
    Instrument(1, kKel7, 1310.0f);
    Instrument(2, kKel7, 1300.0f);
    Instrument(3, kJov7, 0.0f);
    Instrument(4, kFlin7, 0.0f);
    Watch({1, 2, 3, 4, 5});
    Start();
    Pass();
    EXPECT_EQ(view_->DoubleClick(0), 1);
    EXPECT_TRUE(prompter_.Boxes().empty());

    EXPECT_EQ(view_->DoubleClick(1), 0);
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.LastText(), "Selected instrument is NOT supported by this program !");
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Exclamation);

    EXPECT_EQ(view_->DoubleClick(2), 0);
    EXPECT_EQ(prompter_.LastText(), "JOV 7 not implemented yet !!!");
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::None);

    prompter_.Clear();
    EXPECT_EQ(view_->DoubleClick(3), 0); // an I/O module: nothing
    EXPECT_EQ(view_->DoubleClick(4), 0); // absent: nothing
    EXPECT_EQ(view_->DoubleClick(-1), 0);
    EXPECT_EQ(view_->DoubleClick(5), 0);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(ViewTest, SelectedKel7NeedsItsSetupVersion) {
    Instrument(1, kKel7, 1310.0f);
    Instrument(2, kKel7, 1300.0f);
    Watch({});
    Start();
    EXPECT_EQ(view_->InstrumentSelected(1, itype::kKel7), 1);
    EXPECT_EQ(view_->InstrumentSelected(2, itype::kKel7), 0);
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Information);
    EXPECT_EQ(view_->InstrumentSelected(5, itype::kPir7), 0);
    EXPECT_EQ(prompter_.Boxes().back().icon, Prompter::Icon::Information);
}

// A gateway whose name does not resolve: the status note says so, and the polls do not look the
// name up again at every request.
TEST_F(ViewTest, AnUnresolvableGatewayIsNamedInTheNote) {
    profile_.WriteString("Comm Param", "Link", "mbap");
    profile_.WriteString("Comm Param", "Host", "nosuch.invalid");
    Watch({1, 2});
    MakeMaster(false);
    EXPECT_FALSE(master_->Open());
    session_ =
        std::make_unique<BusSession>(*master_, delivery_, prompter_, BusSession::Mode::Inline);
    view_ = std::make_unique<QuarnexView>(*session_, *master_, profile_, prompter_);
    view_->InitialUpdate();
    Pass();
    EXPECT_NE(view_->SilenceNote().find("mbap://nosuch.invalid:502: cannot resolve nosuch.invalid"),
              std::string::npos)
        << view_->SilenceNote();
}

TEST_F(ViewTest, SilentPassGivesOneNoteWithDeviceAndSettingsUntilAnAnswer) {
    Instrument(5); // on the bus, but not where the view looks
    Watch({1, 2});
    Start();
    EXPECT_EQ(view_->SilenceNote(), "");
    view_->Tick();
    EXPECT_EQ(view_->SilenceNote(), ""); // the pass is not over yet
    Pass();
    const std::string note = view_->SilenceNote();
    const CommSettings& s = master_->Settings();
    EXPECT_EQ(note, "No instrument answers on " + s.DevicePath() + " (" +
                        std::to_string(s.BaudRate()) + " baud, parity " +
                        std::string(1, s.ParityLetter()) +
                        ", 2 stop bits). Check the wiring (A/B swapped?), baud rate, parity and "
                        "address, and that no other program holds the port.");
    for (int i = 0; i < 12; ++i)
        Pass();
    EXPECT_EQ(view_->SilenceNote(), note);

    // The first answer takes it away at once, before its pass is over.
    Instrument(2);
    for (int i = 0; i < 200 && view_->State(2).absent; ++i)
        view_->Tick();
    ASSERT_FALSE(view_->State(2).absent);
    EXPECT_EQ(view_->SilenceNote(), "");
    Pass();
    EXPECT_EQ(view_->SilenceNote(), ""); // one of the watched answers: nothing to say

    // A new silence is told again.
    bus_.Detach(2);
    Pass();
    EXPECT_EQ(view_->SilenceNote(), note);
    // New settings start over: the note waits for a silent pass on them.
    view_->SettingsChanged();
    EXPECT_EQ(view_->SilenceNote(), "");
    Pass();
    EXPECT_EQ(view_->SilenceNote(), note);
}

TEST_F(ViewTest, NoNoteWithoutWatchedInstrumentsOrWhileOneAnswers) {
    Instrument(1);
    Watch({1, 2, 3});
    Start();
    for (int i = 0; i < 12; ++i)
        Pass();
    EXPECT_EQ(view_->SilenceNote(), "");
    EXPECT_TRUE(view_->ApplySelection({}));
    for (int i = 0; i < 3; ++i)
        Pass();
    EXPECT_EQ(view_->SilenceNote(), "");
}

} // namespace
} // namespace quarnex::test

namespace quarnex::test {
namespace {

// The view on a session of its own thread, as in the program: the test's thread is the window
// thread and runs the deliveries.
class ThreadedViewTest : public ViewTest {
protected:
    void StartThreaded() {
        MakeMaster();
        session_ = std::make_unique<BusSession>(*master_, delivery_, prompter_);
        view_ = std::make_unique<QuarnexView>(*session_, *master_, profile_, prompter_);
        view_->SetSeedClock([] { return int64_t{1}; });
        view_->InitialUpdate();
    }
    // One tick, its polls waited for (bounded) on the window thread.
    bool TickAndWait() {
        bool polled = false;
        view_->Tick([&] { polled = true; });
        return delivery_.RunUntil([&] { return polled; }, std::chrono::seconds(30));
    }
};

// The window thread only hands the tick over: with the session busy elsewhere the tick returns
// at once, a second tick asks nothing more, and the rows change only when the result is taken
// in. The polls themselves go on the bus in the same order as on the window thread.
TEST_F(ThreadedViewTest, ATickReturnsAtOnceAndItsResultArrivesLater) {
    for (int a = 1; a <= 3; ++a)
        Instrument(a);
    Watch({1, 2, 3, 4, 5}); // 4 and 5 are silent
    StartThreaded();
    std::mutex mutex;
    std::condition_variable changed;
    bool busy = false, release = false;
    const auto other = session_->OpenOwner();
    session_->Submit(other, [&](BusSession::Job&) {
        std::unique_lock<std::mutex> lock(mutex);
        busy = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return release; });
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return busy; }));
    }
    int calls = 0;
    EXPECT_EQ(view_->Tick([&] { ++calls; }), QuarnexView::kTimerPeriodMs);
    EXPECT_TRUE(view_->PollsOut());
    view_->Tick([&] { calls += 100; }); // still out: nothing asked
    EXPECT_EQ(Row(0).instrument, "  ");
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(delivery_.RunUntil([&] { return calls > 0; }, std::chrono::seconds(30)));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(view_->PollsOut());
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
    EXPECT_EQ(Asked(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4}));
    // The next tick starts where this one stopped: 5, then the pass is over.
    ASSERT_TRUE(TickAndWait());
    EXPECT_EQ(Asked(), (std::vector<int>{5}));
    EXPECT_TRUE(view_->State(4).absent);
    EXPECT_TRUE(view_->State(5).absent);
}

// A new watched set while a tick is out: the tick polled the old list, and its result is not
// taken into the new one.
TEST_F(ThreadedViewTest, AResultForAListRebuiltMeanwhileIsDropped) {
    Instrument(1);
    Watch({1});
    StartThreaded();
    bool polled = false;
    view_->Tick([&] { polled = true; });
    AddressFlags selection{};
    selection[1] = selection[2] = true;
    view_->ApplySelection(selection);
    ASSERT_TRUE(delivery_.RunUntil([&] { return polled; }, std::chrono::seconds(30)));
    ASSERT_EQ(view_->Items().size(), 2u);
    EXPECT_EQ(Row(0).instrument, "  ");
    EXPECT_EQ(view_->LastPolledRow(), -1);
    ASSERT_TRUE(TickAndWait());
    EXPECT_EQ(Row(0).instrument, "  KEL 7 Recipe Batcher");
}

// The window closes while its tick polls a silent address: the view goes at once, the poll ends
// on the session's thread, and its result finds nobody.
TEST_F(ThreadedViewTest, AViewClosedWhileItsTickRunsIsNotCalledBack) {
    Watch({7, 8});
    StartThreaded();
    bool called = false;
    view_->Tick([&] { called = true; });
    view_.reset();
    // A last job on the session: when it is delivered, the closed view's result has come and
    // gone.
    bool last = false;
    session_->Submit(
        session_->OpenOwner(), [](BusSession::Job&) {}, [&] { last = true; });
    ASSERT_TRUE(delivery_.RunUntil([&] { return last; }, std::chrono::seconds(30)));
    EXPECT_FALSE(called);
}

} // namespace
} // namespace quarnex::test
