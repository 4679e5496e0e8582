// The calibration pages' rows and rules as tables: set-up values in, rows and row states out.
#include "setup/CalibrationPages.h"

#include "instrument/InstrumentSetup.h"
#include "res/Strings.h"
#include "setup/StandardPages.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace quarnex {
namespace {

InstrumentSetup SetupWith(const std::map<int, double>& values) {
    InstrumentSetup setup;
    setup.MutableInfo().firstNormalRegister = 41000;
    for (int n = 0; n < InstrumentSetup::kValues; ++n)
        setup.SetValue(n, 1.0);
    for (const auto& [n, v] : values)
        setup.SetValue(n, v);
    return setup;
}

// The parameters of the rows a page shows, in screen order.
std::vector<int> ShownParameters(const PageDescriptor& page, const InstrumentSetup& setup) {
    std::vector<int> shown;
    for (size_t i = 0; i < page.rows.size(); ++i)
        if (PageRowState(page, i, setup).shown)
            shown.push_back(page.rows[i].parameter);
    return shown;
}

// The row states of some parameters as a string: '1' enabled, '0' disabled, '-' hidden.
std::string Enabled(const PageDescriptor& page, const InstrumentSetup& setup, int first, int last) {
    std::string out;
    for (size_t i = 0; i < page.rows.size(); ++i) {
        const int n = page.rows[i].parameter;
        if (n < first || n > last)
            continue;
        const RowState s = PageRowState(page, i, setup);
        out += !s.shown ? '-' : (s.enabled ? '1' : '0');
    }
    return out;
}

size_t RowOf(const PageDescriptor& page, int parameter) {
    for (size_t i = 0; i < page.rows.size(); ++i)
        if (page.rows[i].parameter == parameter)
            return i;
    ADD_FAILURE() << "no row for " << parameter;
    return 0;
}

TEST(CalibParamPage, ParametersFourteenToThirtyOneWithTheirEditors) {
    const PageDescriptor& page = SetupPage(PageId::CalibParam);
    EXPECT_EQ(&page, &CalibParamPage());
    EXPECT_EQ(Text(page.title), "Calib param");
    ASSERT_EQ(page.rows.size(), 18u);
    const std::string choices = "110110000100101011"; // 14 ... 31
    for (int n = 14; n <= 31; ++n) {
        EXPECT_EQ(page.rows[n - 14].parameter, n);
        EXPECT_EQ(page.rows[n - 14].editor == EditorKind::Choice, choices[n - 14] == '1') << n;
    }
}

TEST(CalibParamPage, DependentRowsFollowTheirSwitches) {
    struct Case {
        double filterType, overloadCheck, zeroTracking;
        bool filterTimeButton;
        const char* limitAndRate; // rows 27 and 29
    };
    const Case cases[] = {
        {0, 0, 0, false, "00"}, {1, 1, 0, false, "10"},       {2, 2, 1, false, "11"},
        {3, 0, 2, true, "01"},  {999, 999, 999, false, "11"}, // unread values are not Off
    };
    const PageDescriptor& page = CalibParamPage();
    for (const Case& c : cases) {
        const InstrumentSetup setup =
            SetupWith({{18, c.filterType}, {26, c.overloadCheck}, {28, c.zeroTracking}});
        const auto display = PageDisplay(page, setup, true);
        const RowDisplay& filterTime = display[RowOf(page, 19)];
        EXPECT_EQ(filterTime.editButton, c.filterTimeButton) << c.filterType;
        EXPECT_TRUE(filterTime.state.enabled);
        EXPECT_NE(filterTime.value, ""); // the fixed time is still shown
        const RowDisplay& limit = display[RowOf(page, 27)];
        const RowDisplay& rate = display[RowOf(page, 29)];
        const std::string states = {limit.state.enabled ? '1' : '0',
                                    rate.state.enabled ? '1' : '0'};
        EXPECT_EQ(states, c.limitAndRate) << c.overloadCheck << " " << c.zeroTracking;
        // A switched-off row is empty: no value and no unit.
        EXPECT_EQ(limit.value.empty(), !limit.state.enabled);
        EXPECT_EQ(rate.unit.empty(), !rate.state.enabled);
        EXPECT_EQ(limit.label, "Overload limit:");
    }
}

// The calibration rows each type shows, in screen order (hidden rows follow them, empty).
TEST(CalibrationPage, EachTypeShowsItsOwnRowsInOrder) {
    struct Case {
        double type;
        std::vector<int> rows;
    };
    const std::vector<int> points = {40, 41, 42, 43, 44, 45, 46, 47,
                                     48, 49, 50, 51, 52, 54, 55, 56};
    const Case cases[] = {
        {0, {32, 33, 34, 35, 36, 37, 38, 39, 54, 55, 56}},
        {1, {}},
        {2, {}},
        {3, {32, 33, 53, 54, 55, 56}},
        {999, {32}}, // an unread type: only the type, from which a calibration starts
        {-1, {32}},
    };
    const PageDescriptor& page = SetupPage(PageId::Calibration);
    EXPECT_EQ(Text(page.title), "Calibration");
    for (Case c : cases) {
        if (c.type == 1 || c.type == 2) {
            c.rows = {32};
            c.rows.insert(c.rows.end(), points.begin(), points.end());
        }
        const InstrumentSetup setup = SetupWith({{32, c.type}, {34, 4}, {40, 6}});
        EXPECT_EQ(ShownParameters(page, setup), c.rows) << c.type;
        for (const RowDisplay& row : PageDisplay(page, setup, true)) {
            if (row.state.shown)
                continue;
            EXPECT_EQ(row.label, "");
            EXPECT_EQ(row.unit, "");
            EXPECT_EQ(row.value, "");
            EXPECT_FALSE(row.editButton);
        }
    }
    const auto shunt = PageDisplay(page, SetupWith({{32, 3}}), true);
    EXPECT_EQ(shunt[RowOf(page, 53)].label, "Shunt calibration force:");
    EXPECT_EQ(shunt[RowOf(page, 54)].unit, "mV/V");
    EXPECT_EQ(shunt[0].value, "Shunt");
}

TEST(CalibrationPage, RatedOutputsAreEnabledUpToTheNumberOfTransducers) {
    const std::pair<double, const char*> cases[] = {
        {1, "1000"}, {2, "1100"}, {3, "1110"},   {4, "1111"},
        {0, "1111"}, {5, "1111"}, {999, "1111"}, // outside 1-4: nothing is held back
    };
    for (const auto& [count, expected] : cases)
        EXPECT_EQ(Enabled(CalibrationPage(), SetupWith({{32, 0}, {34, count}}), 36, 39), expected)
            << count;
}

TEST(CalibrationPage, PointRowsAreEnabledUpToTheNumberOfPoints) {
    const std::pair<double, const char*> cases[] = {
        {2, "110000"}, {3, "111000"}, {6, "111111"}, {1, "111111"}, {7, "111111"},
    };
    for (double type : {1.0, 2.0})
        for (const auto& [count, expected] : cases) {
            const InstrumentSetup setup = SetupWith({{32, type}, {40, count}});
            EXPECT_EQ(Enabled(CalibrationPage(), setup, 41, 46), expected) << type << " " << count;
            EXPECT_EQ(Enabled(CalibrationPage(), setup, 47, 52), expected) << type << " " << count;
        }
}

TEST(CalibrationPage, DeadweightMeasuresThePointSignalsTableHasThemEntered) {
    const PageDescriptor& page = CalibrationPage();
    for (double type : {1.0, 2.0}) {
        const auto display = PageDisplay(page, SetupWith({{32, type}, {40, 6}}), true);
        for (int n = 47; n <= 52; ++n)
            EXPECT_EQ(display[RowOf(page, n)].editButton, type == 2.0) << n;
        EXPECT_TRUE(display[RowOf(page, 41)].editButton);
        EXPECT_EQ(display[RowOf(page, 47)].label, "Transd. signal point 1:");
    }
    // In show mode there is no ">>" at all, the type's included.
    for (const RowDisplay& row : PageDisplay(page, SetupWith({{32, 2}}), false))
        EXPECT_FALSE(row.editButton);
}

} // namespace
} // namespace quarnex
