// The panel's trend and weight log on the offscreen platform against a simulated KEL 7 whose load
// moves; the panel's ticks are driven by hand and the instrument's clock is stepped with them.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"

#include "app/panel/CInstrumentPanelDlg.h"
#include "app/panel/CWeightTrendWnd.h"
#include "sim/Kel7Model.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <fstream>
#include <string>

namespace quarnex::test {
namespace {

constexpr int kAddress = 1;

class WeightTrendWndTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        profile_.WriteInt("Comm Param", "Baud", 115200);
        sim::Kel7Options options;
        options.load = 100.0;
        bus_.Attach(kAddress, sim::MakeKel7(options));
        MakeMaster();
    }
    // One panel tick after 200 ms of instrument time.
    void Tick(CInstrumentPanelDlg& panel) {
        bus_.WithModel<sim::Kel7Model>(kAddress, [](sim::Kel7Model& m) { m.Step(200); });
        panel.OnTimer();
    }
    static int Lines(const std::string& path) {
        std::ifstream in(path);
        int lines = 0;
        for (std::string line; std::getline(in, line);)
            ++lines;
        return lines;
    }
};

TEST_F(WeightTrendWndTest, TheTrendFillsAsTheLoadMovesAndIsSavedAsPictureAndFile) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_);
    ScriptedFileChooser files;
    CPanelTrendPart* part = panel.TrendPart();
    part->SetFileChooser(&files);
    part->Trend().SetDrawPeriodOverride(0); // every tick is drawn
    panel.SetManualTicks(true);
    panel.show();
    panel.Start();
    part->TrendButton()->click();
    CWeightTrendWnd* trend = part->TrendWnd();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    // The weight axis names the unit the instrument shows its weights in.
    EXPECT_TRUE(trend->WeightAxis()->titleText().startsWith("Weight ("))
        << trend->WeightAxis()->titleText().toStdString();

    Tick(panel);
    bus_.WithModel<sim::Kel7Model>(kAddress, [](sim::Kel7Model& m) { m.RampLoad(400.0, 2000); });
    for (int i = 0; i < 14; ++i)
        Tick(panel);
    // Every tick drew its gross and net, the last one where the filling ended; the filling was
    // motion.
    const QList<QPointF> gross = trend->GrossSeries()->points();
    ASSERT_EQ(gross.size(), 15);
    EXPECT_NEAR(gross.front().y(), 100.0, 1.0);
    EXPECT_NEAR(gross.back().y(), 400.0, 1.0);
    EXPECT_EQ(trend->NetSeries()->count(), 15);
    EXPECT_GT(trend->MotionSeries()->count(), 2);

    // Paused, the picture stays while the ring goes on.
    trend->PauseButton()->click();
    Tick(panel);
    EXPECT_EQ(trend->GrossSeries()->count(), 15);
    EXPECT_EQ(part->Trend().Ring().Size(), 16u);
    trend->PauseButton()->click();
    EXPECT_EQ(trend->GrossSeries()->count(), 16);

    QTemporaryDir dir;
    const std::string png = dir.filePath("trend").toStdString();
    const std::string csv = dir.filePath("trend.csv").toStdString();
    files.Answer(png);
    trend->PngButton()->click();
    files.Answer(csv);
    trend->CsvButton()->click();
    const QImage picture(QString::fromStdString(png + ".png"));
    EXPECT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 100);
    EXPECT_EQ(Lines(csv), 1 + 16);
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// A gap in the samples is drawn as a gap: two pieces of line, not one joined across it.
TEST_F(WeightTrendWndTest, AGapInThePollingIsDrawnAsAGap) {
    WeightTrend trend(200);
    trend.SetDrawPeriodOverride(0);
    const auto sample = [](int64_t ms, double gross) {
        WeightSample s;
        s.monoMs = ms;
        s.wallMs = 1796659377000 + ms;
        s.read = s.kel7 = s.grossValid = s.netValid = true;
        s.state = 2;
        s.gross = s.net = gross;
        return s;
    };
    CWeightTrendWnd wnd(trend, nullptr, prompter_);
    for (int64_t i = 0; i < 5; ++i)
        trend.Add(sample(1000 + i * 200, 100.0));
    wnd.Refresh();
    ASSERT_EQ(wnd.GrossLines().size(), 1u);
    for (int64_t i = 0; i < 5; ++i) // the sheet was open for 10 s
        trend.Add(sample(11000 + i * 200, 110.0));
    wnd.Refresh();
    ASSERT_EQ(wnd.GrossLines().size(), 2u);
    EXPECT_EQ(wnd.GrossLines()[0]->count(), 5);
    EXPECT_EQ(wnd.GrossLines()[1]->count(), 5);
    trend.Add(sample(12000, 111.0));
    wnd.Refresh();
    EXPECT_EQ(wnd.GrossLines()[1]->count(), 6);
}

TEST_F(WeightTrendWndTest, LogToFileWritesThePanelsSamplesUntilStopped) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_);
    ScriptedFileChooser files;
    CPanelTrendPart* part = panel.TrendPart();
    part->SetFileChooser(&files);
    panel.SetManualTicks(true);
    panel.Start();

    QTemporaryDir dir;
    const std::string path = dir.filePath("log.csv").toStdString();
    files.Answer(path);
    part->LogButton()->click();
    for (int i = 0; i < 3; ++i)
        Tick(panel);
    EXPECT_TRUE(part->LogLabel()->text().contains("3 samples"))
        << part->LogLabel()->text().toStdString();
    EXPECT_TRUE(part->LogLabel()->text().contains(QString::fromStdString(path)));
    const int requests = static_cast<int>(bus_.Requests().size());
    part->LogButton()->click(); // stop: no bus traffic of its own
    EXPECT_EQ(static_cast<int>(bus_.Requests().size()), requests);
    Tick(panel);
    EXPECT_FALSE(part->Log().IsOpen());
    EXPECT_EQ(Lines(path), 1 + 3);
}

} // namespace
} // namespace quarnex::test
