#include "monitor/panel/WeightTrend.h"
#include "monitor/panel/WeightLog.h"

#include "panel/PanelFixture.h"

#include <sstream>

namespace quarnex::test {
namespace {

// A sample with weights, as a KEL 7 in normal state gives it.
WeightSample At(int64_t ms, double gross, double net = 0.0, int state = 2, bool motion = false) {
    WeightSample s;
    s.monoMs = ms;
    s.wallMs = 1796659377000 + ms; // 2026-12-07T16:02:57.000Z
    s.address = 1;
    s.read = s.kel7 = s.grossValid = s.netValid = true;
    s.state = state;
    s.statusBits = motion ? bits::kMotion : 0;
    s.gross = gross;
    s.net = net;
    s.grossDecimals = s.netDecimals = 1;
    return s;
}

TEST(SampleRing, KeepsThirtyMinutesAtThePanelsRateAndDropsTheOldest) {
    WeightTrend trend(200);
    EXPECT_EQ(trend.Ring().Capacity(), 30u * 60 * 5 + 1);
    for (int64_t i = 0; i < 12000; ++i)
        trend.Add(At(i * 200, static_cast<double>(i)));
    const auto& kept = trend.Ring().Samples();
    ASSERT_EQ(kept.size(), trend.Ring().Capacity());
    EXPECT_EQ(kept.back().monoMs, 11999 * 200);
    EXPECT_EQ(kept.back().monoMs - kept.front().monoMs, WeightTrend::kLongestSpanMs);

    // Each span ends at the newest sample and holds its edges.
    for (int minutes : {1, 5, 30}) {
        trend.SetSpanMinutes(minutes);
        const auto view = trend.CurrentView();
        EXPECT_EQ(view.samples.size(), static_cast<size_t>(minutes * 300 + 1)) << minutes;
        EXPECT_EQ(view.samples.back().monoMs, 11999 * 200);
    }
    trend.SetSpanMinutes(7); // not a choice: the span stays
    EXPECT_EQ(trend.SpanMinutes(), 30);
}

TEST(WeightTrend, PauseFreezesTheViewWhileTheRingGoesOnAndMarksStatesAndMotion) {
    WeightTrend trend(200);
    // 10 s: settled, then 2 s of motion while the state goes from normal (2) to filling (9).
    for (int64_t i = 0; i < 50; ++i) {
        const bool moving = i >= 20 && i < 30;
        trend.Add(At(i * 200, 100.0 + i, 90.0 + i, i < 25 ? 2 : 9, moving));
    }
    WeightSample failed = FailedSample(1, 50 * 200, 0); // unknown state: not a change
    trend.Add(failed);
    trend.Pause();
    for (int64_t i = 51; i < 100; ++i)
        trend.Add(At(i * 200, 500.0, 500.0, 2));
    EXPECT_EQ(trend.Ring().Size(), 100u);

    auto view = trend.CurrentView();
    EXPECT_EQ(view.samples.size(), 51u);
    EXPECT_EQ(view.samples.back().monoMs, 50 * 200);
    ASSERT_EQ(view.states.size(), 1u);
    EXPECT_EQ(view.states[0].monoMs, 25 * 200);
    EXPECT_EQ(view.states[0].text, StateText(9));
    ASSERT_EQ(view.motion.size(), 1u);
    EXPECT_EQ(view.motion[0].toWallMs - view.motion[0].fromWallMs, 9 * 200);
    EXPECT_DOUBLE_EQ(view.low, 90.0);
    EXPECT_DOUBLE_EQ(view.high, 149.0);

    trend.Resume();
    view = trend.CurrentView();
    EXPECT_EQ(view.samples.back().monoMs, 99 * 200);
    EXPECT_EQ(view.states.size(), 2u); // filling, then normal again
}

// Polling paused for a while (a backup, the sheet open), and a failed read: the line and the
// motion band end there and begin again after.
TEST(WeightTrend, GapsAndFailedReadsBreakTheLineAndTheMotionBand) {
    WeightTrend trend(200);
    for (int64_t i = 0; i < 5; ++i)
        trend.Add(At(i * 200, 100.0, 0.0, 2, true));
    for (int64_t i = 0; i < 5; ++i) // 10 s later, still in motion
        trend.Add(At(10000 + i * 200, 120.0, 0.0, 2, true));
    trend.Add(FailedSample(1, 11000, 0));
    for (int64_t i = 0; i < 3; ++i)
        trend.Add(At(11200 + i * 1000, 130.0)); // the inactive panel's 1 s ticks: no gap
    const WeightTrend::View view = trend.CurrentView();
    ASSERT_EQ(view.runs.size(), 3u);
    EXPECT_EQ(view.runs[0].first, 0u);
    EXPECT_EQ(view.runs[0].last, 4u);
    EXPECT_EQ(view.runs[1].first, 5u);
    EXPECT_EQ(view.runs[1].last, 9u);
    EXPECT_EQ(view.runs[2].first, 11u);
    EXPECT_EQ(view.runs[2].last, 13u);
    ASSERT_EQ(view.motion.size(), 2u);
    EXPECT_EQ(view.motion[0].toWallMs - view.motion[0].fromWallMs, 800);
    EXPECT_EQ(view.motion[1].fromWallMs, view.samples[5].wallMs);
}

TEST(WeightCsv, RowsOfAScriptedSampleStream) {
    WeightSample decimals = At(0, 1234.5, 34.0);
    decimals.grossDecimals = 2;
    decimals.netDecimals = 0;
    WeightSample overload = At(1, 0.0, 0.0, 6);
    overload.error = 4;
    WeightSample notKel = At(2, 0.0);
    notKel.kel7 = false;
    WeightSample motion = At(1999, -2.0, -2.0, 2, true);

    std::ostringstream out;
    WeightLogWriter writer(out);
    for (const WeightSample& s : {decimals, overload, notKel, motion, FailedSample(7, 2000, 0)})
        EXPECT_TRUE(writer.Write(s));
    EXPECT_EQ(writer.Count(), 5);
    const std::string expected =
        "time,address,gross,net,state,status,motion\n"
        "2026-12-07T16:02:57.000Z,1,1234.50,34,Normal state,No errors,0\n"
        "2026-12-07T16:02:57.001Z,1,,,Error state,Overload (Err. 004),0\n"
        "2026-12-07T16:02:57.002Z,1,,,,Connected instrument is NOT a KEL 7,\n"
        "2026-12-07T16:02:58.999Z,1,-2.0,-2.0,Normal state,No errors,1\n"
        "1970-01-01T00:00:00.000Z,7,,,,COMMUNICATION ERROR,\n";
    EXPECT_EQ(out.str(), expected);
}

// The log against one simulated KEL 7 on a line paced at 9600 baud, where a read of the live
// block takes about 55 ms on the wire.
class WeightLogTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        bus_.SetPacing(0);
    }
    WeightLogSummary Log(int intervalMs, int passes, std::vector<WeightSample>& rows,
                         std::vector<std::string>& reports) {
        WeightLogger logger(*master_, prompter_,
                            {.addresses = {kAddress}, .intervalMs = intervalMs});
        return logger.Run(
            [&](const WeightSample& s) {
                rows.push_back(s);
                return true;
            },
            [&] { return rows.size() >= static_cast<size_t>(passes); },
            [&](const std::string& text) { reports.push_back(text); });
    }
};

TEST_F(WeightLogTest, AchievedIntervalIsTheMeanFromPassToPass) {
    std::vector<WeightSample> rows;
    std::vector<std::string> reports;
    const WeightLogSummary s = Log(100, 8, rows, reports);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(s.passes, 8);
    EXPECT_EQ(s.samples, 8);
    EXPECT_EQ(s.failures, 0);
    EXPECT_EQ(s.askedMs, 100);
    // The figure is the rows' own spacing (stamped with their pass's start), never below the
    // interval asked: passes do not start early.
    const double fromRows = static_cast<double>(rows.back().monoMs - rows.front().monoMs) / 7;
    EXPECT_NEAR(s.achievedMs, fromRows, 1.0 / 7 + 1e-9);
    EXPECT_GE(s.achievedMs, 100.0);
    EXPECT_TRUE(rows.front().HasWeights());
    EXPECT_EQ(s.latePasses == 0, reports.empty());
}

TEST_F(WeightLogTest, AnIntervalTheBusCannotKeepIsReportedNotStretchedSilently) {
    std::vector<WeightSample> rows;
    std::vector<std::string> reports;
    const WeightLogSummary s = Log(20, 4, rows, reports);
    EXPECT_EQ(s.passes, 4);
    EXPECT_EQ(s.latePasses, 4);
    EXPECT_GT(s.achievedMs, 40.0); // the wire time of a read at 9600 baud
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot keep an interval of 20 ms"), std::string::npos);
    EXPECT_NE(WeightLogger::SummaryText(s, 1).find("4 of 4 passes were late"), std::string::npos);

    // A silent address gets its row and is counted as a failure.
    bus_.Detach(kAddress);
    rows.clear();
    const WeightLogSummary silent = Log(20, 1, rows, reports);
    EXPECT_EQ(silent.failures, 1);
    EXPECT_FALSE(rows.at(0).read);
}

TEST(WeightLog, AddressLists) {
    std::vector<int> a;
    std::string error;
    EXPECT_TRUE(ParseAddressList("1,3,247", a, error));
    EXPECT_EQ(a, (std::vector<int>{1, 3, 247}));
    for (const char* bad : {"", "0", "248", "1,,3", "1,", "a", "1,1", "+1", " 1", "1x"})
        EXPECT_FALSE(ParseAddressList(bad, a, error)) << bad;
}

} // namespace
} // namespace quarnex::test
