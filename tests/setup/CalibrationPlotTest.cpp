// The calibration plot's data against the Calibration page it is drawn beside, on the simulated
// KEL 7: the plot shows exactly the page's values.
#include "sim/Kel7Fixture.h"

#include "setup/CalibrationPages.h"
#include "setup/CalibrationPlot.h"
#include "setup/KelSetUpSheet.h"

#include <cstdlib>

namespace quarnex::test {
namespace {

size_t RowIndex(int parameter) {
    const PageDescriptor& descriptor = CalibrationPage();
    size_t i = 0;
    while (i < descriptor.rows.size() && descriptor.rows[i].parameter != parameter)
        ++i;
    return i;
}

const RowDisplay& RowOf(const CalibrationLive& page, int parameter) {
    return page.Rows().at(RowIndex(parameter));
}

class CalibrationPlotTest : public Kel7Fixture {
protected:
    void SetUp() override {
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
        sheet_ = std::make_unique<KelSetUpSheet>(*master_, 1, SheetMode::EditSetup, prompter_);
        ASSERT_TRUE(sheet_->Create()) << prompter_.LastText();
        page_ = std::make_unique<CalibrationLive>(sheet_->Source(), true);
    }
    std::unique_ptr<KelSetUpSheet> sheet_;
    std::unique_ptr<CalibrationLive> page_;
};

TEST_F(CalibrationPlotTest, PointsLineAndLiveSignalAreThePagesValues) {
    With(1, [](sim::Kel7Model& m) { m.SetLoad(250.0); });
    page_->Activate();
    page_->Tick();
    // The factory calibration: 0 at 0.1 mV/V and 1000 at 2.1 mV/V, both stored.
    CalibrationPlotData plot = CalibrationPlot(*page_);
    ASSERT_EQ(plot.points.size(), 2u);
    EXPECT_DOUBLE_EQ(plot.points[0].signal, 0.1);
    EXPECT_DOUBLE_EQ(plot.points[0].weight, 0.0);
    EXPECT_DOUBLE_EQ(plot.points[1].signal, 2.1);
    EXPECT_DOUBLE_EQ(plot.points[1].weight, 1000.0);
    // The live point lies on the line: 250 at 0.6 mV/V.
    ASSERT_TRUE(plot.haveLive);
    EXPECT_NEAR(plot.liveSignal, 0.6, 1e-3);
    EXPECT_NEAR(plot.liveWeight, 250.0, 0.5);
    EXPECT_EQ(plot.weightUnit, "kg"); // the weight axis is titled with it

    // Three points, the third's signal between the first two, point 2 entered but not stored.
    ASSERT_EQ(WriteFloat(1, 41000 + 2 * 40, 3.0f), CommStatus::Ok);
    With(1, [](sim::Kel7Model& m) {
        m.SetNormalValue(43, 500.0f); // point 3 as the instrument measured it
        m.SetNormalValue(49, 1.2f);
        m.SetUnstoredMask(2);
    });
    page_->EditEnded(RowIndex(calib::kPointValue1 + 1), true); // the page reads again
    page_->Tick();
    plot = CalibrationPlot(*page_);
    ASSERT_EQ(plot.points.size(), 3u);
    for (const auto& p : plot.points) {
        const RowDisplay& value = RowOf(*page_, calib::kPointValue1 + p.number - 1);
        const RowDisplay& signal = RowOf(*page_, calib::kPointSignal1 + p.number - 1);
        EXPECT_DOUBLE_EQ(p.weight, std::strtod(value.value.c_str(), nullptr)) << p.number;
        EXPECT_DOUBLE_EQ(p.signal, std::strtod(signal.value.c_str(), nullptr)) << p.number;
        EXPECT_EQ(p.unstored, value.label.rfind("* ", 0) == 0) << p.number;
        EXPECT_EQ(p.unstored, p.number == 2);
    }
    ASSERT_EQ(plot.line.size(), 3u);
    EXPECT_LE(plot.line[0].signal, plot.line[1].signal);
    EXPECT_LE(plot.line[1].signal, plot.line[2].signal);
    EXPECT_DOUBLE_EQ(plot.liveSignal, std::strtod(page_->SignalText().c_str(), nullptr));
    EXPECT_DOUBLE_EQ(plot.liveWeight, std::strtod(page_->GrossText().c_str(), nullptr));

    // A failed measurement takes the live point away; the points stay as the page shows them.
    bus_.Detach(1);
    page_->Tick();
    plot = CalibrationPlot(*page_);
    EXPECT_EQ(plot.points.size(), 3u);
    EXPECT_FALSE(plot.haveLive);
}

} // namespace
} // namespace quarnex::test
