// The standard pages' rules as tables: set-up values in, row states out.
#include "setup/StandardPages.h"
#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"
#include "res/Strings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace quarnex {
namespace {

constexpr double kUnread = InstrumentSetup::kUnsetValue;

InstrumentSetup SetupWith(const std::map<int, double>& values, double others = 0.0) {
    InstrumentSetup setup;
    setup.MutableInfo().firstNormalRegister = 41000;
    setup.MutableInfo().firstSpecialRegister = 41338;
    for (int n = 0; n < InstrumentSetup::kValues; ++n)
        setup.SetValue(n, others);
    for (const auto& [n, v] : values)
        setup.SetValue(n, v);
    return setup;
}

// The enabled rows of a page as '1' and '0' in row order (hidden rows as '-').
std::string Enabled(PageId id, const InstrumentSetup& setup) {
    const PageDescriptor& page = SetupPage(id);
    std::string out;
    for (size_t i = 0; i < page.rows.size(); ++i) {
        const RowState s = PageRowState(page, i, setup);
        EXPECT_EQ(s.empty, !s.enabled) << "row " << page.rows[i].parameter;
        out += !s.shown ? '-' : (s.enabled ? '1' : '0');
    }
    return out;
}

std::string Squeeze(std::string s) {
    std::erase(s, ' ');
    return s;
}

TEST(GeneralPage, RowsAreParametersZeroToThirteenWithTheCodesAsCodeRows) {
    const PageDescriptor& page = SetupPage(PageId::General);
    EXPECT_EQ(Text(page.title), "General");
    ASSERT_EQ(page.rows.size(), 14u);
    for (int n = 0; n < 14; ++n) {
        EXPECT_EQ(page.rows[n].parameter, n);
        EXPECT_EQ(page.rows[n].editor, n == 11 || n == 13 ? EditorKind::Code : EditorKind::Choice);
    }
}

TEST(GeneralPage, ALockCodeIsMaskedAndOfferedOnlyWhileItsLockIsOn) {
    struct Case {
        double operatorLock, setupLock;
        const char* operatorCode; // the value field of "Operator code:"
        const char* setupCode;
        bool operatorEnabled, setupEnabled;
    };
    const Case cases[] = {
        {0, 0, "", "", false, false},       {1, 0, "* * * *", "", true, false},
        {0, 1, "", "* * * *", false, true}, {1, 1, "* * * *", "* * * *", true, true},
        {kUnread, 2, "", "", false, false}, // only On (1) unlocks
    };
    for (const Case& c : cases) {
        const InstrumentSetup setup =
            SetupWith({{10, c.operatorLock}, {11, 1234}, {12, c.setupLock}, {13, 42}});
        const auto display = PageDisplay(SetupPage(PageId::General), setup, true);
        EXPECT_EQ(display[11].value, c.operatorCode) << c.operatorLock;
        EXPECT_EQ(display[13].value, c.setupCode) << c.setupLock;
        EXPECT_EQ(display[11].state.enabled, c.operatorEnabled);
        EXPECT_EQ(display[13].state.enabled, c.setupEnabled);
        EXPECT_EQ(display[11].label, "Operator code:");
        EXPECT_TRUE(display[11].editButton); // present, disabled with its row
    }
}

TEST(GeneralPage, TheCodeEditorStartsFromTheRealCode) {
    const InstrumentSetup setup = SetupWith({{10, 1}, {11, 42}});
    const EditRequest r = RowEditRequest(SetupPage(PageId::General).rows[11], setup);
    EXPECT_EQ(r.editor, EditorKind::Code);
    EXPECT_EQ(r.currentText, "0042");
    EXPECT_EQ(r.reg, 41000 + 2 * 11);
    EXPECT_EQ(r.caption, "Operator code:");
}

// Communication rows in order: address | COM1 mode, baud, format | COM2 mode, baud, format |
// COM3 mode, baud, format, position | COM4 the same | ext. display mode, format | printer 1-4,
// linefeeds.
TEST(CommunicationPage, PortModesGateTheirRowsAndCom2IoBusGatesCom3AndCom4) {
    struct Case {
        double m1, m2, m3, m4;
        const char* enabled;
    };
    const Case cases[] = {
        {0, 0, 0, 0, "1 100 100 0000 0000 00 00000"},
        {1, 0, 0, 0, "1 111 100 0000 0000 00 00000"}, // Modbus
        {2, 0, 0, 0, "1 100 100 0000 0000 00 00000"}, // Modbus auto: no line settings
        {5, 0, 0, 0, "1 111 100 0000 0000 00 11111"}, // Printer 850 alone: printer rows
        {3, 0, 0, 0, "1 111 100 0000 0000 11 00000"}, // External display
        {6, 0, 0, 0, "1 111 100 0000 0000 11 11111"}, // Special: both
        {0, 7, 2, 0, "1 100 110 1001 1000 00 00000"}, // I/O bus, COM3 Modbus auto
        {0, 7, 4, 3, "1 100 110 1111 1111 11 11111"}, // COM3 printer, COM4 display
        {0, 1, 4, 3, "1 100 111 0000 0000 00 00000"}, // no I/O bus: COM3/COM4 count as 0
        {0, 4, 3, 4, "1 100 111 0000 0000 00 11111"}, // COM2 printer; stale COM3 ignored
        {0, 7, 7, 0, "1 100 110 1000 1000 00 00000"}, // a mode COM3 does not have
        {kUnread, kUnread, kUnread, kUnread, "1 100 100 0000 0000 00 00000"},
    };
    for (const Case& c : cases) {
        const InstrumentSetup setup = SetupWith({{58, c.m1}, {61, c.m2}, {64, c.m3}, {68, c.m4}});
        EXPECT_EQ(Enabled(PageId::Communication, setup), Squeeze(c.enabled))
            << c.m1 << " " << c.m2 << " " << c.m3 << " " << c.m4;
    }
}

TEST(CommunicationPage, RowsFollowTheParameterNumbersAndOnlyTheAddressIsANumber) {
    const PageDescriptor& page = SetupPage(PageId::Communication);
    EXPECT_EQ(Text(page.title), "Communication");
    ASSERT_EQ(page.rows.size(), 22u);
    for (size_t i = 0; i < page.rows.size(); ++i) {
        EXPECT_EQ(page.rows[i].parameter, 57 + static_cast<int>(i));
        EXPECT_EQ(page.rows[i].editor, i == 0 ? EditorKind::Number : EditorKind::Choice);
    }
    // COM2 offers "I/O bus" and the two fastest rates; the others do not.
    const InstrumentSetup setup = SetupWith({});
    EXPECT_EQ(Text(RowEditRequest(page.rows[4], setup).finalChoice), "I/O bus");
    EXPECT_EQ(Text(RowEditRequest(page.rows[1], setup).finalChoice), "Special");
    EXPECT_EQ(Text(RowEditRequest(page.rows[5], setup).finalChoice), "460800");
    EXPECT_EQ(Text(RowEditRequest(page.rows[12], setup).finalChoice), "115200");
}

TEST(CommunicationPage, ASwitchedOffRowShowsNeitherValueNorUnit) {
    const InstrumentSetup setup = SetupWith({{58, 1}, {59, 5}, {61, 0}, {62, 9}});
    const auto display = PageDisplay(SetupPage(PageId::Communication), setup, true);
    EXPECT_EQ(display[2].value, "9600"); // COM1: Baudrate:
    EXPECT_EQ(display[2].label, "COM1: Baudrate:");
    EXPECT_EQ(display[5].value, ""); // COM2: Baudrate: while COM2 is not in use
    EXPECT_EQ(display[5].label, "COM2: Baudrate:");
    EXPECT_FALSE(display[5].state.enabled);
}

// Level supervision: per level its output configuration and hysteresis, '1' when enabled.
TEST(LevelPage, OutputRowsFollowTheSourceAndOffsetLevelsFollowLevelOne) {
    struct Case {
        double sources[8];
        const char* levels; // levels 1-8
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, "00000000"},
        {{1, 2, 3, 4, 5, 6, 7, 8}, "11111111"},
        {{0, 0, 10, 0, 0, 0, 0, 0}, "00000000"}, // offset from a level 1 that is not in use
        {{1, 0, 10, 0, 0, 0, 0, 0}, "10100000"}, // ... and once level 1 measures net weight
        {{0, 1, 0, 9, 0, 0, 0, 10}, "01010000"},
        {{9, 10, 10, 10, 10, 10, 10, 10}, "11111111"},
        {{kUnread, 0, 10, 0, 0, 0, 0, 0}, "10100000"}, // only "Not in use" switches off
    };
    for (const Case& c : cases) {
        std::map<int, double> values;
        for (int n = 0; n < 8; ++n)
            values[79 + 3 * n] = c.sources[n];
        const std::string all = Enabled(PageId::LevelSupervision, SetupWith(values));
        ASSERT_EQ(all.size(), 26u);
        std::string levels;
        for (int n = 0; n < 8; ++n) {
            EXPECT_EQ(all[3 * n], '1') << "source row of level " << n + 1;
            EXPECT_EQ(all[3 * n + 1], all[3 * n + 2]) << "level " << n + 1;
            levels += all[3 * n + 1];
        }
        EXPECT_EQ(levels, c.levels) << c.sources[0] << " " << c.sources[2];
        EXPECT_EQ(all.substr(24), "11"); // the set-point sources have no rule
    }
}

TEST(LevelPage, HysteresisIsANumberWithTheUnitOfItsSource) {
    const PageDescriptor& page = SetupPage(PageId::LevelSupervision);
    EXPECT_EQ(Text(page.title), "Level supervision");
    for (size_t i = 0; i < page.rows.size(); ++i)
        EXPECT_EQ(page.rows[i].editor,
                  i < 24 && i % 3 == 2 ? EditorKind::Number : EditorKind::Choice)
            << i;
    // Measurement unit kg, flow rate unit per second; level 2 weighs, level 3 measures flow.
    const InstrumentSetup setup = SetupWith({{14, 2}, {157, 0}, {79, 0}, {82, 1}, {85, 4}});
    const auto display = PageDisplay(page, setup, false);
    EXPECT_EQ(display[5].label, "LEVEL 2, Hysteresis:");
    EXPECT_EQ(display[5].unit, "kg");
    EXPECT_EQ(display[8].unit, "kg/s");
    EXPECT_EQ(display[2].unit, ""); // level 1 not in use: switched off
    EXPECT_EQ(display[2].value, "");
    // Level 1 source offers no "Offset level 1", the others do.
    EXPECT_EQ(Text(RowEditRequest(page.rows[0], setup).finalChoice), "Special");
    EXPECT_EQ(Text(RowEditRequest(page.rows[3], setup).finalChoice), "Offset level 1");
}

TEST(InputsAndOutputsPages, EighteenChoiceRowsEachWithoutRules) {
    const struct {
        PageId id;
        int first;
        const char* title;
        const char* third; // the third row's label: the numbering jumps from 02 to 11
        const char* last;
    } pages[] = {{PageId::Inputs, 105, "Inputs", "Input 11 use:", "Input 28 use:"},
                 {PageId::Outputs, 123, "Outputs", "Output 11 use:", "Output 28 use:"}};
    for (const auto& p : pages) {
        const PageDescriptor& page = SetupPage(p.id);
        EXPECT_EQ(Text(page.title), p.title);
        ASSERT_EQ(page.rows.size(), 18u);
        const InstrumentSetup setup = SetupWith({}, kUnread);
        EXPECT_EQ(Enabled(p.id, setup), std::string(18, '1'));
        const auto display = PageDisplay(page, setup, true);
        EXPECT_EQ(display[2].label, p.third);
        EXPECT_EQ(display[17].label, p.last);
        EXPECT_EQ(display[0].value, "??????????"); // an unread choice is no entry of the list
        for (size_t i = 0; i < page.rows.size(); ++i) {
            EXPECT_EQ(page.rows[i].parameter, p.first + static_cast<int>(i));
            EXPECT_EQ(page.rows[i].editor, EditorKind::Choice);
        }
    }
}

TEST(AnalogueOutputsPage, AnOutputNotInUseLeavesOnlyItsSourceEnabled) {
    struct Case {
        double source1, source2;
        const char* enabled; // output 1's seven rows, then output 2's
    };
    const Case cases[] = {
        {0, 0, "1000000 1000000"},
        {1, 0, "1111111 1000000"},
        {0, 4, "1000000 1111111"},
        {5, 3, "1111111 1111111"},
        {kUnread, kUnread, "1111111 1111111"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Enabled(PageId::AnalogueOutputs, SetupWith({{141, c.source1}, {148, c.source2}})),
                  Squeeze(c.enabled))
            << c.source1 << " " << c.source2;
}

TEST(AnalogueOutputsPage, GroupsRangeUnitsAndTheAdjustRows) {
    const PageDescriptor& page = SetupPage(PageId::AnalogueOutputs);
    EXPECT_EQ(Text(page.title), "Analogue outputs");
    ASSERT_EQ(page.rows.size(), 14u);
    ASSERT_EQ(page.groups.size(), 2u);
    EXPECT_EQ(Text(page.groups[0].title), "Analog output no. 1");
    EXPECT_EQ(Text(page.groups[1].title), "Analog output no. 2");
    EXPECT_EQ(page.groups[1].firstRow, 7u);
    EXPECT_EQ(page.groups[1].rowCount, 7u);

    // Output 1 follows the flow rate, output 2 the displayed weight (kg).
    const InstrumentSetup setup =
        SetupWith({{14, 2}, {157, 1}, {141, 4}, {148, 3}, {145, 1234}, {153, -17}});
    const auto display = PageDisplay(page, setup, true);
    EXPECT_EQ(display[2].label, "1: Range low:");
    EXPECT_EQ(display[2].unit, "/min");
    EXPECT_EQ(display[10].unit, "kg");

    const EditRequest low1 = RowEditRequest(page.rows[4], setup);
    EXPECT_EQ(low1.editor, EditorKind::Adjust);
    EXPECT_EQ(low1.caption, "1: Low adjust:");
    EXPECT_EQ(low1.reg, 41000 + 2 * 145);
    EXPECT_EQ(low1.endRegister, 41812);
    EXPECT_EQ(low1.currentInteger, 1234);
    const EditRequest high2 = RowEditRequest(page.rows[12], setup);
    EXPECT_EQ(high2.reg, 41000 + 2 * 153);
    EXPECT_EQ(high2.endRegister, 41814);
    EXPECT_EQ(high2.currentInteger, -17);
    // A damaged value starts the adjustment from 0, not from an undefined conversion.
    EXPECT_EQ(RowEditRequest(page.rows[5], SetupWith({{146, 1e30}})).currentInteger, 0);
}

TEST(SpecialMenuPage, OneRowPerSpecialParameterTheInstrumentReports) {
    for (int count : {0, 3, 20, 25, -1}) {
        InstrumentSetup setup = SetupWith({});
        setup.MutableInfo().specialCount = count;
        const std::string rows = Enabled(PageId::SpecialMenu, setup);
        const int expected = count < 0 ? 0 : (count > 20 ? 20 : count);
        EXPECT_EQ(rows, std::string(expected, '1') + std::string(20 - expected, '-')) << count;
    }
}

TEST(SpecialMenuPage, LabelsUnitsAndDecimalsComeFromTheDescriptors) {
    InstrumentSetup setup = SetupWith({{169, 2.5}, {170, 7}, {171, 1.23456}});
    setup.MutableInfo().specialCount = 3;
    setup.MutableDescriptor(0) = {true, "Pressure", "bar", 2};
    setup.MutableDescriptor(1) = {true, "Count", "", 0};
    setup.MutableDescriptor(2) = {true, "Gain", "%", 3};
    const PageDescriptor& page = SetupPage(PageId::SpecialMenu);
    EXPECT_EQ(Text(page.title), "Special menu");
    const auto display = PageDisplay(page, setup, true);
    EXPECT_EQ(display[0].label, "Pressure");
    EXPECT_EQ(display[0].value, "2.50");
    EXPECT_EQ(display[0].unit, "bar");
    EXPECT_EQ(display[1].value, "7");
    EXPECT_EQ(display[2].value, "1.235");
    EXPECT_FALSE(display[3].state.shown);
    EXPECT_FALSE(display[3].editButton);
    EXPECT_EQ(display[3].label, "");
}

// The value of a special parameter is read from the special block; an edit must go to the same
// register and be followed by a read of that block, whatever gap the instrument leaves between
// its normal and special blocks.
TEST(SpecialMenuPage, AnEditWritesWhereTheValueWasReadAndRereadsTheSpecialBlock) {
    InstrumentSetup setup = SetupWith({{170, 3}});
    setup.MutableInfo().specialCount = 2;
    setup.MutableInfo().firstSpecialRegister = 42000;
    setup.MutableDescriptor(1) = {true, "Speed", "rpm", 1};
    const EditRequest r = RowEditRequest(SetupPage(PageId::SpecialMenu).rows[1], setup);
    EXPECT_EQ(r.editor, EditorKind::Special);
    EXPECT_EQ(r.reg, 42002);
    EXPECT_EQ(r.caption, "Speed");
    EXPECT_EQ(r.currentText, "3.0");
    EXPECT_EQ(r.reread.block, SetupBlock::Special);
    EXPECT_EQ(RowEditRequest(SetupPage(PageId::General).rows[3], setup).reread.block,
              SetupBlock::Normal);
}

TEST(SheetPageList, StandardPagesInTabOrderWithSpecialMenuOnlyWhenThereAreSpecialParameters) {
    InstrumentInfo info;
    const SheetMode show = SheetMode::ShowSetup, edit = SheetMode::EditSetup;
    const std::vector<PageId> standard = {
        PageId::General,          PageId::CalibParam, PageId::Calibration, PageId::Communication,
        PageId::LevelSupervision, PageId::Inputs,     PageId::Outputs,     PageId::AnalogueOutputs};
    EXPECT_EQ(SheetPages(show, info), standard);
    info.specialCount = 3;
    std::vector<PageId> withSpecial = standard;
    withSpecial.push_back(PageId::SpecialMenu);
    EXPECT_EQ(SheetPages(edit, info), withSpecial);
    // The flow-rate and batching options bring their pages before Special menu.
    info.options = 0x12;
    std::vector<PageId> all = standard;
    all.insert(all.end(), {PageId::FlowRate, PageId::Activities1, PageId::Activities2,
                           PageId::Recipes, PageId::SpecialMenu});
    EXPECT_EQ(SheetPages(edit, info), all);
    // Batching and recipe sheets never show the standard pages.
    EXPECT_EQ(SheetPages(SheetMode::EditBatching, info).front(), PageId::Activities1);
    EXPECT_EQ(SheetPages(SheetMode::EditRecipes, info), std::vector<PageId>{PageId::Recipes});
}

} // namespace
} // namespace quarnex
