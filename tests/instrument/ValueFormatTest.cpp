#include "instrument/ValueFormat.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

TEST(Weights, ScaledFromTwoWordsAndDecimals) {
    double v = 1;
    EXPECT_TRUE(ScaledWeight(0xFFFF, 0xFF9C, 2, v));
    EXPECT_DOUBLE_EQ(v, -1.0);
    EXPECT_EQ(FormatWeight(0xFFFF, 0xFF9C, 2), "-1.00");
    EXPECT_EQ(FormatWeight(0x0001, 0x0000, 0), "65536");
    EXPECT_EQ(FormatWeight(0x8000, 0x0000, 0), "-2147483648");
    EXPECT_EQ(FormatWeight(0x0000, 0x3039, 6), "0.012345");
    EXPECT_FALSE(ScaledWeight(0, 5, 7, v));
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(FormatWeight(0, 5, 7), "EEEEEE");
    EXPECT_EQ(FormatWeight(0, 5, 0xFFFF), "EEEEEE");
}

TEST(Weights, SixSignificantAbsorbsCarries) {
    EXPECT_EQ(FormatSixSignificant(3.14159265), "3.14159");
    EXPECT_EQ(FormatSixSignificant(123456.7), "123457");
    EXPECT_EQ(FormatSixSignificant(-2.5), "-2.50000");
    EXPECT_EQ(FormatSixSignificant(99.999996), "100.000");
    EXPECT_EQ(FormatSixSignificant(-99.999996), "-100.000");
    EXPECT_EQ(FormatSixSignificant(9.9999999), "10.0000");
    EXPECT_EQ(FormatSixSignificant(99999.96), "100000");
    EXPECT_EQ(FormatSixSignificant(0.0), "0.00000");
    EXPECT_EQ(FormatSixSignificant(12345678.0), "12345678");
    EXPECT_EQ(FormatSixSignificant(0.000123), "0.00012");
    EXPECT_EQ(FormatSixSignificant(1e30).size(), 31u); // no overflow of the text buffer
}

TEST(PackedText, TwoCharactersPerRegisterHighByteFirst) {
    const uint16_t abc[] = {0x4142, 0x4300};
    EXPECT_EQ(UnpackText(abc, 2), "ABC");
    const uint16_t full[] = {0x4142, 0x4344};
    EXPECT_EQ(UnpackText(full, 2), "ABCD");
    const uint16_t empty[] = {0x0041, 0x4243};
    EXPECT_EQ(UnpackText(empty, 2), "");
    EXPECT_EQ(PackText("ABC", 3), (std::vector<uint16_t>{0x4142, 0x4320, 0x2020}));
    EXPECT_EQ(PackText("ABCDEFG", 2), (std::vector<uint16_t>{0x4142, 0x4344}));
    EXPECT_EQ(PackText("\xC5", 1), (std::vector<uint16_t>{0xC520})); // 8-bit characters stay
}

TEST(Units, DisplayedAndFlowRateUnits) {
    EXPECT_EQ(DisplayedUnit(0), "");
    EXPECT_EQ(DisplayedUnit(1), "g");
    EXPECT_EQ(DisplayedUnit(2.9), "kg");
    EXPECT_EQ(DisplayedUnit(13), "lbf");
    EXPECT_EQ(DisplayedUnit(21), "pls");
    EXPECT_EQ(DisplayedUnit(22), "");
    EXPECT_EQ(DisplayedUnit(23), "???");
    EXPECT_EQ(DisplayedUnit(-1), "???");

    EXPECT_EQ(FlowRateUnit("kg", 0), "kg/s");
    EXPECT_EQ(FlowRateUnit("lbf", 0), "/s");
    EXPECT_EQ(FlowRateUnit("", 0), "/s");
    EXPECT_EQ(FlowRateUnit("kg", 1), "/min");
    EXPECT_EQ(FlowRateUnit("t", 2), "t/h");
    EXPECT_EQ(FlowRateUnit("kN/m", 2), "/h");
    EXPECT_EQ(FlowRateUnit("kg", 3), "*/min");
    EXPECT_EQ(FlowRateUnit("kg", 4), "*/h");
    EXPECT_EQ(FlowRateUnit("kg", 5), "");
    EXPECT_EQ(FlowRateUnit("kg", 999), "");
}

TEST(Units, DecimalsFollowTheResolutionChoice) {
    const int expected[] = {3, 3, 3, 2, 2, 2, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    for (int c = 0; c < 15; ++c) {
        EXPECT_EQ(WeightDecimals(c), expected[c]) << c;
        EXPECT_EQ(FlowRateDecimals(c), expected[c]) << c;
    }
    EXPECT_EQ(WeightDecimals(999), 0);
    EXPECT_EQ(WeightDecimals(-1), 0);
}

// A set-up copy with the values a page would have read: kg, resolution 0.01 (2 decimals), flow
// rate resolution 0.1 (1 decimal), flow rate in kg/h.
class SetupFormat : public ::testing::Test {
protected:
    void SetUp() override {
        setup_.SetValue(param::kMeasurementUnit, 2);
        setup_.SetValue(param::kResolution, 3);
        setup_.SetValue(param::kFlowRateResolution, 6);
        setup_.SetValue(param::kFlowRateUnit, 2);
    }
    static int LevelSourceRow(int n) { return param::kLevel1Source + 3 * (n - 1); }
    static int HysteresisRow(int n) { return LevelSourceRow(n) + 2; }
    InstrumentSetup setup_;
};

TEST_F(SetupFormat, ChoicesCodesAndNumbers) {
    setup_.SetValue(17, 1); // "Mains frequency:"
    EXPECT_EQ(setup_.ValueText(17), "60 Hz");
    setup_.SetValue(17, 2); // one beyond the list
    EXPECT_EQ(setup_.ValueText(17), "??????????");
    setup_.SetValue(17, -1);
    EXPECT_EQ(setup_.ValueText(17), "??????????");
    setup_.SetValue(61, 7); // COM2 offers "I/O bus", COM1 does not
    setup_.SetValue(58, 7);
    EXPECT_EQ(setup_.ValueText(61), "I/O bus");
    EXPECT_EQ(setup_.ValueText(58), "??????????");
    EXPECT_EQ(setup_.ValueText(0), "??????????"); // an unread 999

    setup_.SetValue(param::kOperatorCode, 42);
    EXPECT_EQ(setup_.ValueText(param::kOperatorCode), "0042");
    setup_.SetValue(param::kSetupCode, 12345);
    EXPECT_EQ(setup_.ValueText(param::kSetupCode), "12345");

    setup_.SetValue(16, 1500); // "Capacity:" weight
    EXPECT_EQ(setup_.ValueText(16), "1500.00");
    EXPECT_EQ(setup_.UnitText(16), "kg");
    setup_.SetValue(20, 0.5); // "Filter window:" one decimal more
    EXPECT_EQ(setup_.ValueText(20), "0.500");
    setup_.SetValue(33, 3.14159265f); // "Conversion factor:" six significant
    EXPECT_EQ(setup_.ValueText(33), "3.14159");
    EXPECT_EQ(setup_.Decimals(33), kSixSignificant);
    setup_.SetValue(36, 2.0); // "Rated output transd. 1:" 5 decimals, mV/V
    EXPECT_EQ(setup_.ValueText(36), "2.00000");
    EXPECT_EQ(setup_.UnitText(36), "mV/V");
    setup_.SetValue(158, 2.5); // "Derivation time:"
    EXPECT_EQ(setup_.ValueText(158), "2.50");
    EXPECT_EQ(setup_.UnitText(158), "s");
    EXPECT_EQ(setup_.UnitText(0), "");
}

TEST_F(SetupFormat, LevelsFollowTheirSource) {
    setup_.SetValue(HysteresisRow(3), 1.26);
    setup_.SetValue(LevelSourceRow(1), 4);                // LEVEL 1: flow rate
    setup_.SetValue(LevelSourceRow(3), 10);               // LEVEL 3: offset of level 1
    EXPECT_EQ(setup_.ValueText(HysteresisRow(3)), "1.3"); // flow-rate decimals
    EXPECT_EQ(setup_.UnitText(HysteresisRow(3)), "kg/h");
    EXPECT_EQ(setup_.UnitText(HysteresisRow(1)), "kg/h");

    setup_.SetValue(LevelSourceRow(3), 9); // special
    EXPECT_EQ(setup_.Decimals(HysteresisRow(3)), kSixSignificant);
    EXPECT_EQ(setup_.ValueText(HysteresisRow(3)), "1.26000");
    EXPECT_EQ(setup_.UnitText(HysteresisRow(3)), "");
    setup_.SetValue(LevelSourceRow(3), 2); // gross weight
    EXPECT_EQ(setup_.ValueText(HysteresisRow(3)), "1.26");
    EXPECT_EQ(setup_.UnitText(HysteresisRow(3)), "kg");
    setup_.SetValue(LevelSourceRow(3), 0);
    EXPECT_EQ(setup_.UnitText(HysteresisRow(3)), "");
    setup_.SetValue(LevelSourceRow(3), 11);
    EXPECT_EQ(setup_.UnitText(HysteresisRow(3)), "???");

    // LEVEL 1 cannot take "Offset level 1"; a 10 there is beyond its list.
    setup_.SetValue(LevelSourceRow(1), 10);
    EXPECT_EQ(setup_.UnitText(HysteresisRow(1)), "???");
    EXPECT_EQ(setup_.Decimals(HysteresisRow(1)), 2);
    // ... but a level offset from it shows no unit rather than "???".
    setup_.SetValue(LevelSourceRow(8), 10);
    EXPECT_EQ(setup_.UnitText(HysteresisRow(8)), "");
    EXPECT_EQ(setup_.Decimals(HysteresisRow(8)), 2);
}

TEST_F(SetupFormat, AnalogueRangesFollowTheOutputSource) {
    const int low1 = 143, high2 = 151;
    setup_.SetValue(low1, 4);
    setup_.SetValue(param::kAnalogue1Source, 4);
    EXPECT_EQ(setup_.ValueText(low1), "4.0");
    EXPECT_EQ(setup_.UnitText(low1), "kg/h");
    setup_.SetValue(param::kAnalogue1Source, 5);
    EXPECT_EQ(setup_.ValueText(low1), "4.00000");
    EXPECT_EQ(setup_.UnitText(low1), "");
    setup_.SetValue(param::kAnalogue1Source, 6);
    EXPECT_EQ(setup_.UnitText(low1), "???");
    setup_.SetValue(param::kAnalogue2Source, 1);
    setup_.SetValue(high2, 100);
    EXPECT_EQ(setup_.ValueText(high2), "100.00");
    EXPECT_EQ(setup_.UnitText(high2), "kg");
}

TEST_F(SetupFormat, BatchValuesOfPulseBatchingUseTheActivitysOwnUnit) {
    const int k = 3;
    const int base = 5 + 25 * (k - 1);
    setup_.SetBatchValue(base + 6, 12.5);  // fine value
    setup_.SetBatchValue(base + 10, 0.26); // inflight value
    setup_.SetBatchValue(base + 0, 1);     // weigh in
    EXPECT_EQ(setup_.BatchValueText(base + 6), "12.50");
    EXPECT_EQ(setup_.BatchUnitText(base + 6), "kg");
    setup_.SetBatchValue(base + 0, 10);  // pulse batching
    setup_.SetBatchValue(base + 22, 1);  // "No of decimals:" choice "1"
    setup_.SetBatchValue(base + 23, 12); // "Unit:" l
    EXPECT_EQ(setup_.BatchValueText(base + 6), "12.5");
    EXPECT_EQ(setup_.BatchValueText(base + 10), "0.3");
    EXPECT_EQ(setup_.BatchUnitText(base + 10), "l");
    setup_.SetBatchValue(base + 23, 22);
    EXPECT_EQ(setup_.BatchUnitText(base + 6), "");
    setup_.SetBatchValue(base + 23, 23);
    EXPECT_EQ(setup_.BatchUnitText(base + 6), "???");
    // Another activity is untouched by activity 3's type.
    EXPECT_EQ(setup_.BatchUnitText(base + 25 + 6), "kg");

    setup_.SetBatchValue(base + 7, 1.5);
    EXPECT_EQ(setup_.BatchValueText(base + 7), "1.50");
    EXPECT_EQ(setup_.BatchUnitText(base + 7), "%");
    setup_.SetBatchValue(base + 24, 2);
    EXPECT_EQ(setup_.BatchValueText(base + 24), "2.000");
    setup_.SetBatchValue(0, 1);
    EXPECT_EQ(setup_.BatchValueText(0), "Yes");
    setup_.SetBatchValue(base + 2, 33);
    EXPECT_EQ(setup_.BatchValueText(base + 2), "48");
    setup_.SetBatchValue(base + 21, 2); // the pulse input list has two entries
    EXPECT_EQ(setup_.BatchValueText(base + 21), "??????????");
}

} // namespace
} // namespace quarnex
