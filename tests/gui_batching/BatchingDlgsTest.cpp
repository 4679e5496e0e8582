// The activity and recipe dialogs on the offscreen platform against the simulated Recipe
// Batcher: the value-entry dialogs they open are worked from a zero-time timer inside their
// event loop.
#include "sim/Kel7Fixture.h"
#include "support/QtTestSupport.h"

#include "app/batching/CBatchingDlgs.h"
#include "app/edit/CValueEntryDlg.h"
#include "app/panel/BusProgressWindow.h"
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
    EXPECT_EQ(dialog.NameField()->text(), "Light mix");
    EXPECT_EQ(dialog.ActivityField(0)->text(), "01:Component A");
    EXPECT_FALSE(dialog.SetpointField(0)->isHidden());
    EXPECT_EQ(dialog.ActivityField(3)->text(), "04:Discharge"); // a Dump: no set point
    EXPECT_TRUE(dialog.SetpointField(3)->isHidden());
    EXPECT_TRUE(dialog.SetpointButton(3)->isHidden());
    EXPECT_FALSE(dialog.Lines1To15Button()->isEnabled());

    dialog.Lines16To30Button()->click();
    EXPECT_EQ(dialog.LineLabel(0)->text(), "Line 16, Activity:");
    EXPECT_EQ(dialog.ActivityField(0)->text(), "00:---");
    // Line 16 gets activity 3 ("Mixing", a Timer), then a set point of 42 seconds.
    WhenModal<CChoiceDlg>([](CChoiceDlg& d) {
        d.List()->setCurrentIndex(d.List()->findText("03:Mixing"));
        d.OkButton()->click();
    });
    dialog.ActivityButton(0)->click();
    EXPECT_EQ(dialog.ActivityField(0)->text(), "03:Mixing");
    ASSERT_FALSE(dialog.SetpointButton(0)->isHidden());
    WhenModal<CNumberDlg>([](CNumberDlg& d) {
        d.Edit()->setText("42");
        d.OkButton()->click();
    });
    dialog.SetpointButton(0)->click();
    EXPECT_EQ(dialog.SetpointField(0)->text(), "42.0");
    EXPECT_EQ(dialog.UnitField(0)->text(), "s");
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
    const int valueColumn = dialog.Value(0)->x();
    EXPECT_EQ(dialog.windowTitle(), "Batching activity no 1");
    EXPECT_GE(dialog.SlotOf(6), 0); // Fine+Coarse: the fine value
    EXPECT_EQ(dialog.SlotOf(16), -1);
    WhenModal<CChoiceDlg>([](CChoiceDlg& d) {
        d.List()->setCurrentIndex(3); // "Dump"
        d.OkButton()->click();
    });
    // Return on the focused ">>" opens its editor, not the dialog's OK.
    dialog.EditButton(dialog.SlotOf(0))->setFocus();
    QTest::keyClick(dialog.EditButton(dialog.SlotOf(0)), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Value(0)->text(), "Dump");
    EXPECT_EQ(dialog.SlotOf(6), -1);
    const int low = dialog.SlotOf(16);
    ASSERT_GE(low, 0);
    EXPECT_EQ(dialog.Label(low)->text(), "Low level:");
    EXPECT_FALSE(dialog.EditButton(low)->isHidden());
    EXPECT_TRUE(dialog.Label(7)->isHidden()); // type, name, five rows: slot 7 is unused
    // Rows hid and showed: the dialog keeps its size and its value column.
    QApplication::processEvents();
    EXPECT_EQ(dialog.size(), opened);
    EXPECT_EQ(dialog.Value(0)->x(), valueColumn);
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
    EXPECT_TRUE(dialog.NameButton()->isHidden());
    dialog.OnTimer(); // the standard block
    dialog.OnTimer(); // recipe 1
    EXPECT_EQ(dialog.ActivityField(0)->text(), "01:Component A");
    EXPECT_TRUE(dialog.ActivityButton(0)->isHidden());
    EXPECT_TRUE(dialog.SetpointButton(0)->isHidden());
    bus_.Detach(1);
    dialog.OnTimer(); // one activity in turn: fails without a message
    EXPECT_EQ(dialog.ActivityField(0)->text(), "----------");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(BatchingDlgsTest, ActivitiesPageShowsTypesAndNamesAndFollowsTheActivityDialog) {
    auto sheet = OpenSheet(SheetMode::EditBatching);
    CActivitiesPage page(sheet->Source(), 1, true);
    page.Activate();
    EXPECT_EQ(page.TypeField(2)->text(), "Weigh in");
    EXPECT_EQ(page.NameField(2)->text(), "Component B");
    EXPECT_EQ(page.TypeField(7)->text(), "Not used");
    EXPECT_EQ(page.NameField(7)->text(), "");
    EXPECT_FALSE(page.GeneralButton(0)->isHidden());

    // Activity 2 set to "Not used" in its dialog: the page drops its name.
    WhenModal<CActivityDlg>([](CActivityDlg& d) {
        WhenModal<CChoiceDlg>([](CChoiceDlg& c) {
            c.List()->setCurrentIndex(0);
            c.OkButton()->click();
        });
        d.EditButton(d.SlotOf(0))->click();
        EXPECT_EQ(d.SlotOf(kActivityNameRow), -1);
        d.OkButton()->click();
    });
    page.ActivityButton(2)->click();
    EXPECT_EQ(page.TypeField(2)->text(), "Not used");
    EXPECT_EQ(page.NameField(2)->text(), "");
    EXPECT_TRUE(sheet->OkCheck());
}

TEST_F(BatchingDlgsTest, RecipesPageInShowModeListsTheNamesAndKeepsItsButtons) {
    auto sheet = OpenSheet(SheetMode::ShowSetup);
    CRecipesPage page(sheet->Source(), false);
    page.SetManualTicks(true);
    page.Activate();
    EXPECT_EQ(page.Label(1)->text(), "Recipe 01:");
    EXPECT_EQ(page.Label(30)->text(), "Recipe 30:");
    EXPECT_EQ(page.NameField(1)->text(), "Standard mix");
    EXPECT_FALSE(page.RecipeButton(30)->isHidden());
    CActivitiesPage activities(sheet->Source(), 2, false);
    activities.SetManualTicks(true);
    activities.Activate();
    EXPECT_EQ(activities.TypeField(24)->text(), "Not used");
    bus_.Detach(1);
    activities.OnTimer();
    EXPECT_EQ(activities.TypeField(24)->text(), "----------");
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
