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
#include <QTableWidget>
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
        frame_ = std::make_unique<CMainFrame>(profile_, &prompter_);
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
    // Every row's text in one column.
    static QStringList Column(QTableWidget& t, int column) {
        QStringList out;
        for (int r = 0; r < t.rowCount(); ++r)
            out << t.item(r, column)->text();
        return out;
    }

    std::unique_ptr<CMainFrame> frame_;
    ScriptedFileChooser chooser_;
};

TEST_F(BusTrafficWndTest, FillsFromThePollingAndPauseStopsOnlyTheTable) {
    // The View menu opens it, modeless, with the main view's polling still running.
    QAction* action = frame_->Action(CMainFrame::kBusTraffic);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "Bus traffic");
    EXPECT_TRUE(frame_->menuBar()->actions()[1]->menu()->actions().contains(action));
    CBusTrafficWnd* wnd = frame_->OpenBusTraffic(&chooser_);
    ASSERT_NE(wnd, nullptr);
    wnd->Timer().SetManual(true);
    wnd->Timer().Stop();
    EXPECT_FALSE(wnd->isModal());
    EXPECT_TRUE(frame_->View()->TimerActive());
    EXPECT_EQ(frame_->OpenBusTraffic(&chooser_), wnd); // a second open raises the same window

    QTableWidget& table = *wnd->Table();
    const size_t before = bus_.RequestCount(1);
    Poll(3);
    wnd->OnTimer();
    const size_t polled = bus_.RequestCount(1) - before;
    ASSERT_GT(polled, 0u);
    ASSERT_EQ(static_cast<size_t>(table.rowCount()), polled);
    for (const QString& a : Column(table, CBusTrafficWnd::kAddress))
        EXPECT_EQ(a, "1");
    for (const QString& s : Column(table, CBusTrafficWnd::kStatus))
        EXPECT_EQ(s, "OK");
    const QString request = table.item(0, CBusTrafficWnd::kRequest)->text();
    EXPECT_TRUE(request.startsWith("01 03 ") || request.startsWith("01 05 ") ||
                request.startsWith("01 06 ") || request.startsWith("01 10 "))
        << request.toStdString();
    EXPECT_FALSE(table.item(0, CBusTrafficWnd::kResponse)->text().isEmpty());
    EXPECT_TRUE(wnd->SummaryLabel()->text().contains("address 1: mean"));
    // The line is paced: no answer comes back faster than its frames cross the wire.
    for (const TrafficRecord& r : wnd->Logic().Shown()) {
        const auto bytes = static_cast<int64_t>(r.request.size() + r.answer.size());
        EXPECT_GE(r.lastAnswerNs, (bytes - 1) * r.characterNs) << traffic::TraceLine(r);
    }

    // Paused: the polling goes on, the table stands still.
    QTest::mouseClick(wnd->PauseButton(), Qt::LeftButton);
    EXPECT_EQ(wnd->PauseButton()->text(), "Resume");
    const int frozen = table.rowCount();
    const size_t beforePause = bus_.RequestCount(1);
    Poll(2);
    wnd->OnTimer();
    EXPECT_GT(bus_.RequestCount(1), beforePause);
    EXPECT_EQ(table.rowCount(), frozen);
    EXPECT_TRUE(frame_->View()->TimerActive());
    // Resumed: what came meanwhile is there.
    QTest::mouseClick(wnd->PauseButton(), Qt::LeftButton);
    EXPECT_EQ(wnd->PauseButton()->text(), "Pause");
    EXPECT_EQ(static_cast<size_t>(table.rowCount()), bus_.RequestCount(1) - before);

    // Filter: an address nobody polled shows nothing; "All" brings every row back.
    wnd->Logic().SetAddressFilter(7);
    wnd->OnTimer();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(wnd->AddressBox()->currentData().toInt(), 7);
    EXPECT_EQ(wnd->SummaryLabel()->text(), "no traffic");
    wnd->Logic().SetAddressFilter(0);
    wnd->OnTimer();
    EXPECT_EQ(static_cast<size_t>(table.rowCount()), bus_.RequestCount(1) - before);

    // Saved as CSV: the header and a line per row.
    char folder[] = "/tmp/quarnex-traffic-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/traffic.csv";
    chooser_.Answer(path);
    EXPECT_TRUE(wnd->Logic().SaveCsv(chooser_, prompter_));
    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text.rfind("serial,transaction,attempt,", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), table.rowCount() + 1);
    chooser_.Answer(std::nullopt); // cancelled: nothing written
    EXPECT_FALSE(wnd->Logic().SaveText(chooser_, prompter_));
    std::remove(path.c_str());
    rmdir(folder);

    // Clear empties it; closing stops the recording.
    QTest::mouseClick(wnd->findChildren<QPushButton*>()[1], Qt::LeftButton);
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_NE(frame_->Bus().GetTrafficObserver(), nullptr);
    wnd->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame_->BusTrafficWindow(), nullptr);
    EXPECT_EQ(frame_->Bus().GetTrafficObserver(), nullptr);
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
    QTableWidget& table = *wnd->Table();
    ASSERT_EQ(table.rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(table.item(r, CBusTrafficWnd::kAttempt)->text().section('/', 1),
                  QString::number(r + 1));
        EXPECT_EQ(table.item(r, CBusTrafficWnd::kStatus)->text(), "No responce from slave");
        EXPECT_TRUE(table.item(r, CBusTrafficWnd::kResponse)->text().startsWith("time-out "));
        EXPECT_TRUE(table.item(r, CBusTrafficWnd::kAnswer)->text().isEmpty());
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
    QTableWidget& table = *wnd->Table();
    ASSERT_GT(table.rowCount(), 0);

    // Answers that stall halfway come after the columns were sized to the first rows.
    bus_.InjectFault(1, {sim::Fault::LateBytes, 1, 0, 100});
    uint16_t value = 0;
    frame_->Bus().ReadHoldingRegisters(1, 40001, 1, &value, {.retries = 0, .extraTimeout = 400});
    wnd->OnTimer();
    QTableWidgetItem* warning = table.item(table.rowCount() - 1, CBusTrafficWnd::kWarning);
    ASSERT_NE(warning, nullptr);
    ASSERT_FALSE(warning->text().isEmpty());
    EXPECT_EQ(warning->toolTip(), warning->text());
    EXPECT_GE(table.columnWidth(CBusTrafficWnd::kWarning),
              table.fontMetrics().horizontalAdvance(warning->text()));
}

} // namespace
} // namespace quarnex::test
