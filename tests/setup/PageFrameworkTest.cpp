// What every page shares: row kinds that agree with the parameter table, the display in show and
// edit mode, and the "----------" of a failed read.
#include "instrument/InstrumentSetup.h"
#include "instrument/SetupParameterTable.h"
#include "setup/StandardPages.h"

#include <gtest/gtest.h>

#include <limits>

namespace quarnex {
namespace {

const PageId kAllPages[] = {PageId::General,       PageId::CalibParam,       PageId::Calibration,
                            PageId::Communication, PageId::LevelSupervision, PageId::Inputs,
                            PageId::Outputs,       PageId::AnalogueOutputs,  PageId::FlowRate,
                            PageId::SpecialMenu};

InstrumentSetup ConfiguredSetup() {
    InstrumentSetup setup;
    setup.MutableInfo().firstNormalRegister = 41000;
    setup.MutableInfo().firstSpecialRegister = 41338;
    setup.MutableInfo().specialCount = 2;
    setup.MutableDescriptor(0) = {true, "Torque", "Nm", 1};
    setup.MutableDescriptor(1) = {true, "Angle", "deg", 0};
    for (int n = 0; n < InstrumentSetup::kValues; ++n)
        setup.SetValue(n, 1);
    return setup;
}

// A choice row must open the choice dialog with the parameter's own list, any other row a dialog
// that takes a number: a row whose editor disagrees with the table would write an index as a
// value or the other way round.
TEST(PageFramework, EveryRowsEditorAgreesWithTheParameterTable) {
    int rows = 0;
    for (PageId id : kAllPages) {
        for (const PageRow& row : SetupPage(id).rows) {
            const SetupParameterRow& t = SetupParameterTable::Row(row.parameter);
            ASSERT_NE(t.kind, kind::kReserved) << row.parameter;
            EXPECT_EQ(row.editor == EditorKind::Choice, t.kind == kind::kChoice) << row.parameter;
            EXPECT_EQ(row.editor == EditorKind::Special, t.kind == kind::kSpecial) << row.parameter;
            EXPECT_EQ(row.endRegister != 0, row.editor == EditorKind::Adjust) << row.parameter;
            ++rows;
        }
    }
    EXPECT_EQ(rows, 14 + 18 + 25 + 22 + 26 + 18 + 18 + 14 + 4 + 20);
}

TEST(PageFramework, ShowModeHasNoEditButtonsEditModeHasThemOnEveryExistingRow) {
    const InstrumentSetup setup = ConfiguredSetup();
    for (PageId id : kAllPages) {
        const PageDescriptor& page = SetupPage(id);
        for (const RowDisplay& row : PageDisplay(page, setup, false))
            EXPECT_FALSE(row.editButton);
        for (const RowDisplay& row : InitialPageDisplay(page, setup, false))
            EXPECT_FALSE(row.editButton);
        // Rows whose value the instrument fixes or measures have none.
        for (const RowDisplay& row : PageDisplay(page, setup, true))
            EXPECT_EQ(row.editButton, row.state.shown && row.state.button);
    }
}

TEST(PageFramework, AFailedReadDashesEveryValueAndTheNextGoodReadRestoresThem) {
    InstrumentSetup setup = ConfiguredSetup();
    setup.SetValue(58, 0); // COM1 not in use: its baud rate row is switched off
    const PageDescriptor& page = SetupPage(PageId::Communication);
    std::vector<RowDisplay> display = PageDisplay(page, setup, false);
    EXPECT_EQ(display[2].value, "");
    EXPECT_FALSE(display[2].state.enabled);

    ShowFailedRead(display);
    for (const RowDisplay& row : display)
        EXPECT_EQ(row.value, "----------") << row.label; // switched-off rows too
    EXPECT_FALSE(display[2].state.enabled);              // the rules did not run
    EXPECT_EQ(display[0].label, "Instrument address:");

    display = PageDisplay(page, setup, false);
    EXPECT_EQ(display[0].value, "1");
    EXPECT_EQ(display[1].value, "Not in use");
}

TEST(PageFramework, SpecialMenuKeepsItsHiddenRowsHiddenOnAFailedRead) {
    const InstrumentSetup setup = ConfiguredSetup();
    const PageDescriptor& page = SetupPage(PageId::SpecialMenu);
    // The first activation of a page whose read failed starts from the initial display.
    std::vector<RowDisplay> display = InitialPageDisplay(page, setup, true);
    EXPECT_EQ(display[0].label, "Torque");
    EXPECT_EQ(display[1].unit, "deg");
    EXPECT_EQ(display[0].value, "");
    ShowFailedRead(display);
    EXPECT_EQ(display[1].value, "----------");
    for (size_t i = 2; i < display.size(); ++i) {
        EXPECT_FALSE(display[i].state.shown);
        EXPECT_EQ(display[i].value, "");
        EXPECT_FALSE(display[i].editButton);
    }
}

TEST(PageFramework, ChoiceAndNumberRequestsCarryTheListTheValueAndTheRegister) {
    InstrumentSetup setup = ConfiguredSetup();
    setup.SetValue(3, 5);   // "Display contrast:" 5
    setup.SetValue(57, 12); // "Instrument address:"
    const PageRow contrast = SetupPage(PageId::General).rows[3];
    const EditRequest c = RowEditRequest(contrast, setup);
    EXPECT_EQ(c.editor, EditorKind::Choice);
    EXPECT_EQ(c.caption, "Display contrast:");
    EXPECT_EQ(c.reg, 41006);
    EXPECT_EQ(c.firstChoice, 14120);
    EXPECT_EQ(c.finalChoice, 14127);
    EXPECT_EQ(c.currentIndex, 5);
    const EditRequest a = RowEditRequest(SetupPage(PageId::Communication).rows[0], setup);
    EXPECT_EQ(a.editor, EditorKind::Number);
    EXPECT_EQ(a.reg, 41114);
    EXPECT_EQ(a.currentText, "12");
    EXPECT_EQ(a.reread.block, SetupBlock::Normal);
    // An index beyond any list preselects nothing instead of wrapping into it.
    setup.SetValue(3, std::numeric_limits<double>::quiet_NaN());
    EXPECT_LT(RowEditRequest(contrast, setup).currentIndex, 0);
}

TEST(PageFramework, ARowOutsideThePageIsHidden) {
    const InstrumentSetup setup = ConfiguredSetup();
    const PageDescriptor& page = SetupPage(PageId::General);
    EXPECT_FALSE(PageRowState(page, page.rows.size(), setup).shown);
}

} // namespace
} // namespace quarnex
