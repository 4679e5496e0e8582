// The "Bus traffic" window beside the main view: it fills from the view's own polling, and its
// pause freezes the table while the polling goes on.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"

#include "app/CBusTrafficWnd.h"
#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSplashWnd.h"
#include "monitor/WatchedSet.h"
#include "sim/Kel7Model.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace quarnex::test {
namespace {

class BusTrafficWndTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        CSplashWnd::EnableSplashScreen(false);
        profile_.WriteInt("Comm Param", "Baud", 115200);
        bus_.SetPacing(0);
        sim::Kel7Options options;
        options.load = 12.5;
        bus_.Attach(1, std::make_shared<sim::Kel7Model>(options));
        AddressFlags watched{};
        watched[1] = true;
        SaveWatchedSet(profile_, watched);
        frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
        ASSERT_TRUE(frame_->Create());
        frame_->show();
    }
    void TearDown() override {
        frame_.reset();
        BusFixture::TearDown();
    }
    void Poll(int ticks) {
        for (int i = 0; i < ticks; ++i)
            frame_->View()->OnTimer();
    }
    static QString Cell(QTableView& t, int row, int column, int role = Qt::DisplayRole) {
        return t.model()->index(row, column).data(role).toString();
    }
    static int Rows(QTableView& t) { return t.model()->rowCount(); }
    // Every row's text in one column.
    static QStringList Column(QTableView& t, int column) {
        QStringList out;
        for (int r = 0; r < Rows(t); ++r)
            out << Cell(t, r, column);
        return out;
    }

    std::unique_ptr<CMainFrame> frame_;
    ScriptedFileChooser chooser_;
};

TEST_F(BusTrafficWndTest, FillsFromThePollingAndPauseStopsOnlyTheTable) {
    // The View menu opens it, modeless, with the main view's polling still running.
    QAction* action = frame_->Action(CMainFrame::kBusTraffic);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "&Bus traffic");
    EXPECT_TRUE(frame_->menuBar()->actions()[1]->menu()->actions().contains(action));
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    ASSERT_NE(wnd, nullptr);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    EXPECT_FALSE(wnd->isModal());
    EXPECT_TRUE(frame_->View()->TimerActive());
    EXPECT_EQ(frame_->OpenBusTraffic(&chooser_), wnd); // a second open raises the same window
    EXPECT_TRUE(frame_->screen()->availableGeometry().contains(wnd->frameGeometry().topLeft()));

    QTableView& table = *wnd->Table();
    const size_t before = bus_.RequestCount(1);
    Poll(3);
    wnd->OnTimer();
    const size_t polled = bus_.RequestCount(1) - before;
    ASSERT_GT(polled, 0u);
    ASSERT_EQ(static_cast<size_t>(Rows(table)), polled);
    for (const QString& a : Column(table, CBusTrafficWnd::kAddress))
        EXPECT_EQ(a, "1");
    for (const QString& s : Column(table, CBusTrafficWnd::kStatus))
        EXPECT_EQ(s, "OK");
    const QString request = Cell(table, 0, CBusTrafficWnd::kRequest);
    EXPECT_TRUE(request.startsWith("01 03 ") || request.startsWith("01 05 ") ||
                request.startsWith("01 06 ") || request.startsWith("01 10 "))
        << request.toStdString();
    EXPECT_FALSE(Cell(table, 0, CBusTrafficWnd::kResponse).isEmpty());
    EXPECT_TRUE(wnd->SummaryLabel()->text().contains("address 1: mean"));
    // The line is paced: no answer comes back faster than its frames cross the wire.
    for (const TrafficRecord& r : wnd->Logic().Shown()) {
        const auto bytes = static_cast<int64_t>(r.request.size() + r.answer.size());
        EXPECT_GE(r.lastAnswerNs, (bytes - 1) * r.characterNs) << traffic::TraceLine(r);
    }

    // Paused: the polling goes on, the table stands still.
    QTest::mouseClick(wnd->PauseButton(), Qt::LeftButton);
    EXPECT_EQ(wnd->PauseButton()->text(), "Resume");
    const int frozen = Rows(table);
    const size_t beforePause = bus_.RequestCount(1);
    Poll(2);
    wnd->OnTimer();
    EXPECT_GT(bus_.RequestCount(1), beforePause);
    EXPECT_EQ(Rows(table), frozen);
    EXPECT_TRUE(frame_->View()->TimerActive());
    // Resumed: what came meanwhile is there.
    QTest::mouseClick(wnd->PauseButton(), Qt::LeftButton);
    EXPECT_EQ(wnd->PauseButton()->text(), "Pause");
    EXPECT_EQ(static_cast<size_t>(Rows(table)), bus_.RequestCount(1) - before);

    // Filter: an address nobody polled shows nothing; "All" brings every row back.
    wnd->Logic().SetAddressFilter(7);
    wnd->OnTimer();
    EXPECT_EQ(Rows(table), 0);
    EXPECT_EQ(wnd->AddressBox()->currentData().toInt(), 7);
    EXPECT_EQ(wnd->SummaryLabel()->text(), "no traffic");
    wnd->Logic().SetAddressFilter(0);
    wnd->OnTimer();
    EXPECT_EQ(static_cast<size_t>(Rows(table)), bus_.RequestCount(1) - before);

    // Saved as CSV: the header and a line per row.
    char folder[] = "/tmp/quarnex-traffic-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/traffic.csv";
    chooser_.Answer(path);
    EXPECT_TRUE(wnd->Logic().SaveCsv(chooser_, prompter_));
    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text.rfind("serial,transaction,attempt,", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), Rows(table) + 1);
    chooser_.Answer(std::nullopt); // cancelled: nothing written
    EXPECT_FALSE(wnd->Logic().SaveText(chooser_, prompter_));
    std::remove(path.c_str());
    rmdir(folder);

    // Clear empties it; Escape closes it, and closing stops the recording.
    QTest::mouseClick(wnd->findChildren<QPushButton*>()[1], Qt::LeftButton);
    EXPECT_EQ(Rows(table), 0);
    EXPECT_NE(frame_->Bus().GetTrafficObserver(), nullptr);
    QTest::keyClick(wnd->Table(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame_->BusTrafficWindow(), nullptr);
    EXPECT_EQ(frame_->Bus().GetTrafficObserver(), nullptr);
}

// With more records than the ring holds, the table is the newest ones and follows them.
TEST_F(BusTrafficWndTest, ShowsTheNewestRecordsOfAFullRing) {
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    auto* recording = dynamic_cast<TrafficRecorder*>(frame_->Bus().GetTrafficObserver());
    ASSERT_NE(recording, nullptr);
    TrafficRecorder& recorder = *recording;
    TrafficRecord r;
    r.request = {4, 3, 0, 0, 0, 1};
    r.lastAnswerNs = 2'000'000;
    for (size_t i = 0; i < recorder.Capacity() + 25; ++i) {
        r.transaction = i;
        recorder.OnAttempt(r);
    }
    wnd->OnTimer();
    QTableView& table = *wnd->Table();
    ASSERT_EQ(static_cast<size_t>(Rows(table)), recorder.Capacity());
    EXPECT_EQ(Cell(table, Rows(table) - 1, CBusTrafficWnd::kAttempt),
              QString("%1/1").arg(recorder.Capacity() + 24));
    EXPECT_EQ(table.verticalScrollBar()->value(), table.verticalScrollBar()->maximum());
    for (int i = 0; i < 3; ++i) {
        r.transaction = 100'000 + i;
        recorder.OnAttempt(r);
    }
    wnd->OnTimer();
    EXPECT_EQ(static_cast<size_t>(Rows(table)), recorder.Capacity());
    EXPECT_EQ(Cell(table, Rows(table) - 1, CBusTrafficWnd::kAttempt), "100002/1");
    EXPECT_EQ(Cell(table, 0, CBusTrafficWnd::kAttempt), "28/1");
    EXPECT_EQ(table.verticalScrollBar()->value(), table.verticalScrollBar()->maximum());

    // Opened again over the full ring, it starts at the newest rows, not at the oldest.
    wnd->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTableView& again = *frame_->OpenBusTraffic(&chooser_)->Table();
    EXPECT_GT(again.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(again.verticalScrollBar()->value(), again.verticalScrollBar()->maximum());
}

// The table follows the newest rows from its first opening, also when the window is laid out
// again after it was shown; scrolling up stops that, scrolling back to the bottom resumes it.
TEST_F(BusTrafficWndTest, FollowsTheNewestRowsAsATerminalDoes) {
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    auto* recorder = dynamic_cast<TrafficRecorder*>(frame_->Bus().GetTrafficObserver());
    ASSERT_NE(recorder, nullptr);
    uint64_t transaction = 0;
    const auto add = [&](int n) {
        TrafficRecord r;
        r.request = {4, 3, 0, 0, 0, 1};
        r.lastAnswerNs = 2'000'000;
        for (int i = 0; i < n; ++i) {
            r.transaction = ++transaction;
            recorder->OnAttempt(r);
        }
        wnd->OnTimer();
        QCoreApplication::processEvents();
    };
    QScrollBar& scroll = *wnd->Table()->verticalScrollBar();
    add(300);
    wnd->resize(wnd->width(), wnd->height() / 2); // laid out anew after the first show
    QCoreApplication::processEvents();
    ASSERT_GT(scroll.maximum(), 0);
    EXPECT_EQ(scroll.value(), scroll.maximum());
    add(5);
    EXPECT_EQ(scroll.value(), scroll.maximum());

    scroll.setValue(10); // the user scrolls up
    add(5);
    EXPECT_EQ(scroll.value(), 10);
    scroll.setValue(scroll.maximum());
    add(5);
    EXPECT_EQ(scroll.value(), scroll.maximum());
}

// The window opens beside the main window: right, else left, else narrowed into the wider side,
// and over it only where the screen cannot hold both.
TEST(BusTrafficPlaceTest, BesideTheMainWindow) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize frame(4, 24), wanted(1100, 500), minimum(600, 200);
    const struct {
        QRect main;
        QRect expected;
    } cases[] = {
        {{0, 0, 700, 600}, {700, 0, 1100, 500}},       // right
        {{1200, 100, 700, 600}, {96, 100, 1100, 500}}, // left
        {{1000, 100, 900, 600}, {0, 100, 996, 500}},   // narrowed to the left
        {{500, 700, 700, 380}, {1200, 556, 716, 500}}, // narrowed to the right, kept on screen
        {{100, 0, 1500, 800}, {816, 0, 1100, 500}},    // no room: the screen's right edge
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMainFrame::BesideRect(c.main, frame, wanted, minimum, screen), c.expected)
            << c.main.x() << "," << c.main.width();
}

// A silent address: each retry is a row with its time-out; the summary names the failures.
TEST_F(BusTrafficWndTest, ShowsTheRetriesOfASilentAddress) {
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    uint16_t value = 0;
    EXPECT_EQ(
        frame_->Bus().ReadHoldingRegisters(9, 40001, 1, &value, {.retries = 2, .extraTimeout = 20}),
        CommStatus::NoResponse);
    wnd->OnTimer();
    QTableView& table = *wnd->Table();
    ASSERT_EQ(Rows(table), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(Cell(table, r, CBusTrafficWnd::kAttempt).section('/', 1), QString::number(r + 1));
        EXPECT_EQ(Cell(table, r, CBusTrafficWnd::kStatus), "No responce from slave");
        EXPECT_TRUE(Cell(table, r, CBusTrafficWnd::kResponse).startsWith("time-out "));
        EXPECT_TRUE(Cell(table, r, CBusTrafficWnd::kAnswer).isEmpty());
    }
    EXPECT_TRUE(wnd->SummaryLabel()->text().contains("3 x No responce from slave"));
    EXPECT_TRUE(wnd->SummaryLabel()->text().contains("address 9: no answer"));
}

TEST_F(BusTrafficWndTest, ATimingWarningThatComesLaterIsShownInFull) {
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    Poll(4);
    wnd->OnTimer();
    QTableView& table = *wnd->Table();
    ASSERT_GT(Rows(table), 0);

    // Answers that stall halfway come after the columns were sized to the first rows.
    bus_.InjectFault(1, {sim::Fault::LateBytes, 1, 0, 100});
    uint16_t value = 0;
    frame_->Bus().ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 0, .extraTimeout = 400});
    wnd->OnTimer();
    const QString warning = Cell(table, Rows(table) - 1, CBusTrafficWnd::kWarning);
    ASSERT_FALSE(warning.isEmpty());
    EXPECT_EQ(Cell(table, Rows(table) - 1, CBusTrafficWnd::kWarning, Qt::ToolTipRole), warning);
    EXPECT_GE(table.columnWidth(CBusTrafficWnd::kWarning),
              table.fontMetrics().horizontalAdvance(warning));
}

} // namespace
} // namespace quarnex::test
