// The activity and recipe dialogs on the offscreen platform against the simulated Recipe
// Batcher: the value-entry dialogs they open are worked from a zero-time timer inside their
// event loop.
#include "sim/Kel7Fixture.h"
#include "support/QtTestSupport.h"

#include "app/edit/CValueEntryDlg.h"
#include "app/panel/BusProgressWindow.h"
#include "app/setup/CBatchingDlgs.h"
#include "app/setup/CKelSetUpPage.h"
#include "setup/BatchingPages.h"
#include "setup/KelSetUpSheet.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace quarnex::test {
namespace {

class BatchingDlgsTest : public Kel7Fixture {
protected:
    void SetUp() override {
        App();
        // Modal windows are answered from zero-time timers: no progress window may run them early.
        BusProgressWindow::SetShowAfterForAll(BusProgressWindow::kNever);
        Kel7Fixture::SetUp();
        AddKel7(1);
        MakeMaster();
    }
    std::unique_ptr<KelSetUpSheet> OpenSheet(SheetMode mode) {
        auto sheet = std::make_unique<KelSetUpSheet>(*master_, 1, mode, prompter_);
        EXPECT_TRUE(sheet->Create()) << prompter_.LastText();
        return sheet;
    }
    bool InBatchSetup() {
        return With(1, [](sim::Kel7Model& m) { return m.InBatchSetup(); });
    }
};

TEST_F(BatchingDlgsTest, EditRecipesChangesASetPointOfTheSecondHalfAndLeavesBatchSetupOnOk) {
    auto sheet = OpenSheet(SheetMode::EditRecipes);
    ASSERT_TRUE(InBatchSetup());
    CRecipeDlg dialog(sheet->Source(), 2, true);
    dialog.Open();
    EXPECT_EQ(dialog.windowTitle(), "Recipe no 2");
    EXPECT_EQ(dialog.NameRow().Value()->text(), "Light mix");
    EXPECT_EQ(dialog.Line(0, false).Value()->text(), "01:Component A");
    EXPECT_FALSE(dialog.Line(0, true).Value()->isHidden());
    EXPECT_EQ(dialog.Line(3, false).Value()->text(), "04:Discharge"); // a Dump: no set point
    EXPECT_TRUE(dialog.Line(3, true).Value()->isHidden());
    EXPECT_TRUE(dialog.Line(3, true).EditButton()->isHidden());
    EXPECT_FALSE(dialog.Lines1To15Button()->isEnabled());

    dialog.Lines16To30Button()->click();
    EXPECT_EQ(dialog.Line(0, false).Label()->text(), "Line 16, Activity:");
    EXPECT_EQ(dialog.Line(0, false).Value()->text(), "00:---");
    EXPECT_FALSE(dialog.Lines16To30Button()->isEnabled());
    // Line 16 gets activity 3 ("Mixing", a Timer), then a set point of 42 seconds.
    WhenModal<CChoiceDlg>([](CChoiceDlg& d) {
        d.List()->setCurrentIndex(d.List()->findText("03:Mixing"));
        d.OkButton()->click();
    });
    dialog.Line(0, false).EditButton()->click();
    EXPECT_EQ(dialog.Line(0, false).Value()->text(), "03:Mixing");
    ASSERT_FALSE(dialog.Line(0, true).EditButton()->isHidden());
    WhenModal<CNumberDlg>([](CNumberDlg& d) {
        d.Edit()->setText("42");
        d.OkButton()->click();
    });
    dialog.Line(0, true).EditButton()->click();
    EXPECT_EQ(dialog.Line(0, true).Value()->text(), "42.0");
    EXPECT_EQ(dialog.Line(0, true).Unit()->text(), "s");
    EXPECT_EQ(With(1, [](sim::Kel7Model& m) { return m.RecipeValue(60 + 31); }), 42.0f);

    dialog.OkButton()->click();
    EXPECT_TRUE(sheet->OkCheck());
    EXPECT_FALSE(InBatchSetup());
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
}

TEST_F(BatchingDlgsTest, ActivityTypeChangedToDumpSwitchesTheRowsAtOnce) {
    auto sheet = OpenSheet(SheetMode::EditBatching);
    CActivityDlg dialog(sheet->Source(), 1, true);
    dialog.Open();
    dialog.show();
    const QSize opened = dialog.size();
    const int valueColumn = dialog.Row(0).Value()->x();
    EXPECT_EQ(dialog.windowTitle(), "Batching activity no 1");
    EXPECT_NE(dialog.RowOf(6), nullptr); // Fine+Coarse: the fine value
    EXPECT_EQ(dialog.RowOf(16), nullptr);
    WhenModal<CChoiceDlg>([](CChoiceDlg& d) {
        d.List()->setCurrentIndex(3); // "Dump"
        d.OkButton()->click();
    });
    // Return on the focused ">>" opens its editor, not the dialog's OK.
    dialog.Row(0).EditButton()->setFocus();
    QTest::keyClick(dialog.Row(0).EditButton(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Row(0).Value()->text(), "Dump");
    EXPECT_EQ(dialog.RowOf(6), nullptr);
    const CSetupRow* low = dialog.RowOf(16);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->Label()->text(), "Low level:");
    EXPECT_FALSE(low->EditButton()->isHidden());
    EXPECT_TRUE(dialog.Row(7).Label()->isHidden()); // type, name, five rows: row 7 is unused
    // Rows hid and showed: the dialog keeps its size and its value column.
    QApplication::processEvents();
    EXPECT_EQ(dialog.size(), opened);
    EXPECT_EQ(dialog.Row(0).Value()->x(), valueColumn);
    EXPECT_TRUE(sheet->CancelCheck());
    EXPECT_FALSE(InBatchSetup());
}

TEST_F(BatchingDlgsTest, ShowModeHidesEveryEditButtonAndPollsWithItsPhases) {
    auto sheet = OpenSheet(SheetMode::ShowSetup);
    CRecipeDlg dialog(sheet->Source(), 1, false);
    dialog.SetManualTicks(true);
    const int waits = prompter_.WaitCursorShown();
    dialog.Open();
    EXPECT_EQ(prompter_.WaitCursorShown(), waits + 1); // during the probe
    EXPECT_TRUE(dialog.NameRow().EditButton()->isHidden());
    dialog.OnTimer(); // the standard block
    dialog.OnTimer(); // recipe 1
    EXPECT_EQ(dialog.Line(0, false).Value()->text(), "01:Component A");
    EXPECT_TRUE(dialog.Line(0, false).EditButton()->isHidden());
    EXPECT_TRUE(dialog.Line(0, true).EditButton()->isHidden());
    bus_.Detach(1);
    dialog.OnTimer(); // one activity in turn: fails without a message
    EXPECT_EQ(dialog.Line(0, false).Value()->text(), "----------");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// Page 1 shows the five general values, then activities 1-9: activity k in row 4 + k, its type
// as the value and its name beside it.
TEST_F(BatchingDlgsTest, ActivitiesPageShowsTypesAndNamesAndFollowsTheActivityDialog) {
    auto sheet = OpenSheet(SheetMode::EditBatching);
    CKelSetUpPage page(sheet->Source(), ActivitiesPage(1), true);
    page.Activate();
    const auto activity = [&page](int k) { return page.Row(static_cast<size_t>(4 + k)); };
    EXPECT_EQ(activity(2).Label()->text(), "Activity 2");
    EXPECT_EQ(activity(2).Value()->text(), "Weigh in");
    EXPECT_EQ(activity(2).Unit()->text(), "Component B");
    EXPECT_EQ(activity(7).Value()->text(), "Not used");
    EXPECT_EQ(activity(7).Unit()->text(), "");
    EXPECT_FALSE(page.Row(0).EditButton()->isHidden());

    // Activity 2 set to "Not used" in its dialog: the page drops its name.
    WhenModal<CActivityDlg>([](CActivityDlg& d) {
        WhenModal<CChoiceDlg>([](CChoiceDlg& c) {
            c.List()->setCurrentIndex(0);
            c.OkButton()->click();
        });
        d.Row(0).EditButton()->click();
        EXPECT_EQ(d.RowOf(kActivityNameRow), nullptr);
        d.OkButton()->click();
    });
    activity(2).EditButton()->click();
    EXPECT_EQ(activity(2).Value()->text(), "Not used");
    EXPECT_EQ(activity(2).Unit()->text(), "");
    EXPECT_TRUE(sheet->OkCheck());
}

TEST_F(BatchingDlgsTest, RecipesPageInShowModeListsTheNamesAndKeepsItsButtons) {
    auto sheet = OpenSheet(SheetMode::ShowSetup);
    CKelSetUpPage page(sheet->Source(), RecipesPage(), false);
    page.SetManualTicks(true);
    page.Activate();
    EXPECT_EQ(page.Row(0).Label()->text(), "Recipe 01:");
    EXPECT_EQ(page.Row(29).Label()->text(), "Recipe 30:");
    EXPECT_EQ(page.Row(0).Value()->text(), "Standard mix");
    EXPECT_FALSE(page.Row(29).EditButton()->isHidden());
    // Two columns of fifteen: recipe 16 stands beside recipe 1.
    page.show();
    QApplication::processEvents();
    EXPECT_EQ(page.Row(15).Label()->y(), page.Row(0).Label()->y());
    EXPECT_GT(page.Row(15).Label()->x(), page.Row(0).EditButton()->x());
    CKelSetUpPage activities(sheet->Source(), ActivitiesPage(2), false);
    activities.SetManualTicks(true);
    activities.Activate();
    const CSetupRow& last = activities.Row(14); // activity 24
    EXPECT_EQ(last.Value()->text(), "Not used");
    bus_.Detach(1);
    activities.OnTimer();
    EXPECT_EQ(last.Value()->text(), "----------");
    EXPECT_EQ(last.Unit()->text(), "----------");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
