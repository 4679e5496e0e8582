// The maximum permissible errors of the accuracy classes, written down from the class table
// (0.5 e, 1 e, 1.5 e over each class's load ranges, each range including its upper end; twice
// in service), and the user's own tolerances.
#include "check/Tolerance.h"

#include <gtest/gtest.h>

namespace quarnex {
namespace {

TEST(Tolerance, ClassRangesAndTheirBoundaries) {
    struct Row {
        AccuracyClass c;
        double m; // load in e
        double mpe;
    };
    const Row rows[] = {
        {AccuracyClass::I, 0, 0.5},       {AccuracyClass::I, 50000, 0.5},
        {AccuracyClass::I, 50001, 1.0},   {AccuracyClass::I, 200000, 1.0},
        {AccuracyClass::I, 200001, 1.5},  {AccuracyClass::II, 5000, 0.5},
        {AccuracyClass::II, 5000.5, 1.0}, {AccuracyClass::II, 20000, 1.0},
        {AccuracyClass::II, 20001, 1.5},  {AccuracyClass::III, 500, 0.5},
        {AccuracyClass::III, 501, 1.0},   {AccuracyClass::III, 2000, 1.0},
        {AccuracyClass::III, 2001, 1.5},  {AccuracyClass::III, 10000, 1.5},
        {AccuracyClass::IIII, 50, 0.5},   {AccuracyClass::IIII, 51, 1.0},
        {AccuracyClass::IIII, 200, 1.0},  {AccuracyClass::IIII, 201, 1.5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("class " + AccuracyClassName(r.c) + " at " + std::to_string(r.m) + " e");
        EXPECT_DOUBLE_EQ(r.mpe, MaxPermissibleErrorInE(r.c, r.m, false));
        EXPECT_DOUBLE_EQ(2 * r.mpe, MaxPermissibleErrorInE(r.c, r.m, true));
    }
}

TEST(Tolerance, RulesInTheDisplayedUnit) {
    ToleranceRule classIII; // e from the display step 0.1: 500 e = 50 kg, 2000 e = 200 kg
    ToleranceRule givenE;
    givenE.e = 0.5; // 500 e = 250 kg
    ToleranceRule inService;
    inService.inService = true;
    ToleranceRule absolute, percent;
    ASSERT_TRUE(ParseTolerance("0.3", absolute));
    ASSERT_TRUE(ParseTolerance("0.1%", percent));
    struct Row {
        const ToleranceRule& rule;
        double load, tolerance;
    } rows[] = {
        {classIII, 50.0, 0.05},   {classIII, 50.1, 0.1},   {classIII, 200.0, 0.1},
        {classIII, 1000.0, 0.15}, {givenE, 250.0, 0.25},   {givenE, 251.0, 0.5},
        {inService, 1000.0, 0.3}, {absolute, 1000.0, 0.3}, {absolute, 0.0, 0.3},
        {percent, 500.0, 0.5},    {percent, 0.0, 0.05}, // never below half the display step
    };
    for (const Row& r : rows)
        EXPECT_NEAR(r.tolerance, r.rule.Tolerance(r.load, 0.1), 1e-12) << "at " << r.load;
    EXPECT_EQ("OIML R 76 class III, e = 0.5 kg (given), maximum permissible errors at "
              "verification",
              givenE.Describe(0.1, "kg"));
    EXPECT_EQ("Tolerance given: ±0.1 % of the load, at least half the display step",
              percent.Describe(0.1, "kg"));
    // A printed tolerance keeps the digits it needs.
    EXPECT_EQ("0.025", FormatTolerance(0.025, 0.1));
    EXPECT_EQ("0.15", FormatTolerance(0.15, 0.1));
    EXPECT_EQ("0.1", FormatTolerance(0.1, 0.1));
    EXPECT_EQ("2", FormatTolerance(2, 1));
    // e below the display step cannot be shown by the instrument (d <= e).
    EXPECT_EQ("e = 0.05 kg is smaller than the display step 0.1 kg: OIML R 76 asks d ≤ e, the "
              "instrument cannot show a smaller e",
              ToleranceRule{.e = 0.05}.Problem(0.1, "kg"));
    EXPECT_EQ("", ToleranceRule{.e = 0.1}.Problem(0.1, "kg"));
}

TEST(Tolerance, BadInputIsRefused) {
    ToleranceRule rule;
    for (const char* bad : {"", "%", "0", "-1", "x", "0.1%%", "101%", "1e400"})
        EXPECT_FALSE(ParseTolerance(bad, rule)) << bad;
    AccuracyClass c;
    for (const char* bad : {"", "V", "IIIII", "iii", "0"})
        EXPECT_FALSE(ParseAccuracyClass(bad, c)) << bad;
    EXPECT_EQ("-0.05", FormatCheckWeight(-0.05, 0.05));
    EXPECT_EQ("0.0", FormatCheckWeight(-0.01, 0.1));
}

} // namespace
} // namespace quarnex
