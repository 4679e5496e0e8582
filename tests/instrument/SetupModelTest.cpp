#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"
#include "res/Strings.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

using T = SetupParameterTable;

TEST(ParameterTable, RangesEndRowsAndKinds) {
    for (int end : {T::kValueEndRow, T::kBatchEndRow, -1, T::kRows}) {
        EXPECT_EQ(T::Row(end).kind, kind::kReserved) << end;
        EXPECT_EQ(T::Row(end).unit, 0) << end;
        EXPECT_EQ(T::Row(end).label, 0) << end;
    }
    for (int r = 159; r <= 168; ++r)
        EXPECT_EQ(T::Row(r).kind, kind::kReserved) << r;
    for (int r = 169; r <= 188; ++r) {
        EXPECT_EQ(T::Row(r).kind, kind::kSpecial) << r;
        EXPECT_EQ(T::Row(r).unit, unit::kNoUnit) << r;
    }
    for (int n = 1; n <= 8; ++n) {
        const SetupParameterRow& h = T::Row(81 + 3 * (n - 1));
        EXPECT_EQ(h.label, 13040 + n);
        EXPECT_EQ(h.kind, 11 + n);
        EXPECT_EQ(h.unit, 19020 + n);
        EXPECT_EQ(T::Row(79 + 3 * (n - 1)).finalChoice, n == 1 ? 15089 : 15090);
    }
    EXPECT_EQ(T::Row(123).label, 12088);
    EXPECT_EQ(Text(T::Row(140).label), "Output 28 use:");
    EXPECT_EQ(Text(T::Row(107).label), "Input 11 use:");
    EXPECT_EQ(Text(T::Row(63).label), "COM2: Data format:");
    EXPECT_EQ(Text(T::Row(152).label), "2: Low adjust:");
    EXPECT_EQ(Text(T::Row(158).label), "Derivation time:");
}

TEST(ParameterTable, EveryLabelChoiceAndUnitHasItsText) {
    for (int r = 0; r < T::kRows; ++r) {
        const SetupParameterRow& row = T::Row(r);
        if (row.kind != kind::kReserved && row.kind != kind::kSpecial) {
            EXPECT_FALSE(Text(row.label).empty()) << "row " << r;
        }
        if (row.kind == kind::kChoice) {
            ASSERT_LE(row.firstChoice, row.finalChoice) << r;
            for (int id = row.firstChoice; id <= row.finalChoice; ++id)
                EXPECT_TRUE(HasText(id)) << "row " << r << " choice " << id;
        }
        if (row.unit != 0) {
            EXPECT_TRUE(HasText(row.unit)) << "row " << r;
        }
    }
    EXPECT_EQ(Text(T::TextLabel(0)), "01: Activity name:");
    EXPECT_EQ(Text(T::TextLabel(23)), "24: Activity name:");
    EXPECT_EQ(Text(T::TextLabel(24)), "01: Recipe name:");
    EXPECT_EQ(Text(T::TextLabel(53)), "30: Recipe name:");
    EXPECT_EQ(T::TextLabel(54), 0);
    // The batch rows repeat the 25 activity rows 24 times.
    EXPECT_EQ(Text(T::Row(190 + 5).label), "Activity type:");
    EXPECT_EQ(Text(T::Row(190 + 604).label), "Scale factor:");
    EXPECT_EQ(Text(T::Row(190 + 5 + 25 * 11 + 18).label), "On during halt");
    EXPECT_EQ(Text(T::Row(190 + 4).label), "Recipe check:");
}

TEST(SetupCopy, ResetKeepsTextsAndRecipes) {
    InstrumentSetup setup;
    EXPECT_EQ(setup.Value(0), 999.0);
    EXPECT_EQ(setup.BatchValue(604), 999.0);
    EXPECT_EQ(setup.Text(0), "");
    setup.SetValue(5, 1);
    setup.SetBatchValue(5, 2);
    setup.SetText(3, "Flour and more than twelve");
    setup.SetRecipeValue(1799, 7);
    setup.SetAddress(12);
    setup.MutableInfo().type = itype::kKel7;
    setup.MutableDescriptor(0).valid = true;
    setup.Reset();
    EXPECT_EQ(setup.Value(5), 999.0);
    EXPECT_EQ(setup.BatchValue(5), 999.0);
    EXPECT_EQ(setup.Address(), 0);
    EXPECT_EQ(setup.Info().type, 0);
    EXPECT_FALSE(setup.Descriptor(0).valid);
    EXPECT_EQ(setup.Text(3), "Flour and mo");
    EXPECT_EQ(setup.RecipeValue(1799), 7.0);
}

TEST(SetupCopy, BatchLabelsCarryTheActivityPrefix) {
    InstrumentSetup setup;
    EXPECT_EQ(setup.BatchLabel(0, true), "Display no of batches:");
    EXPECT_EQ(setup.BatchLabel(4, true), "Recipe check:");
    EXPECT_EQ(setup.BatchLabel(5, true), "01:Activity type:");
    EXPECT_EQ(setup.BatchLabel(5, false), "Activity type:");
    EXPECT_EQ(setup.BatchLabel(29, true), "01:Scale factor:");
    EXPECT_EQ(setup.BatchLabel(304, true), "12:Scale factor:");
    EXPECT_EQ(setup.BatchLabel(305, true), "13:Activity type:");
    EXPECT_EQ(setup.BatchLabel(5 + 25 * 2 + 11, true), "03:Wait time:");
    EXPECT_EQ(setup.BatchLabel(604, true), "24:Scale factor:");
    EXPECT_EQ(setup.BatchLabel(605, true), "");
    EXPECT_EQ(InstrumentSetup::BatchRegister(2), 41404);
    EXPECT_EQ(InstrumentSetup::BatchRegister(5 + 25 * 2 + 11), 41434);
    EXPECT_EQ(InstrumentSetup::BatchRegister(604), 41460);
}

TEST(SetupCopy, SpecialDescriptorGivesLabelUnitAndDecimals) {
    uint16_t regs[16] = {};
    const char name[] = "Pressure";
    for (int i = 0; i < 8; ++i)
        regs[i / 2] |= static_cast<uint16_t>(static_cast<uint8_t>(name[i]) << (i % 2 ? 0 : 8));
    regs[9] = ('b' << 8) | 'a';
    regs[10] = ('r' << 8);
    regs[12] = 2;
    InstrumentSetup setup;
    EXPECT_EQ(setup.Label(169), ""); // no descriptor read
    setup.MutableDescriptor(0) = InstrumentSetup::DecodeDescriptor(regs);
    setup.SetValue(169, 3.14159f);
    EXPECT_TRUE(setup.Descriptor(0).valid);
    EXPECT_EQ(setup.Label(169), "Pressure");
    EXPECT_EQ(setup.UnitText(169), "bar");
    EXPECT_EQ(setup.ValueText(169), "3.14");
    EXPECT_EQ(setup.Label(170), "");
    EXPECT_EQ(setup.Label(165), ""); // reserved
    EXPECT_EQ(setup.Label(14), "Measurement unit:");

    // A name that fills all nine registers runs into the unit; the rule is "up to the first NUL".
    uint16_t full[16] = {};
    for (int i = 0; i < 9; ++i)
        full[i] = ('N' << 8) | 'N';
    full[9] = ('m' << 8) | 'm';
    full[12] = 0x0301; // a high byte that is not zero: the unit runs on, decimals are huge
    const SpecialDescriptor odd = InstrumentSetup::DecodeDescriptor(full);
    EXPECT_EQ(odd.name, std::string(18, 'N') + "mm");
    EXPECT_EQ(odd.unit, "mm");
    setup.MutableDescriptor(1) = odd;
    setup.SetValue(170, 1);
    EXPECT_EQ(setup.ValueText(170), "1.000000000"); // precision is capped, never hundreds
}

} // namespace
} // namespace quarnex
