// Window tests of the set-up sheet on the offscreen platform against the simulated KEL 7: opened
// from the panel's buttons, a value changed through its row's ">>", and every way out. Modal
// windows are worked from zero-time timers that fire inside their event loops.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"

#include "app/edit/CValueEntryDlg.h"
#include "app/panel/BusProgressWindow.h"
#include "app/panel/CInstrumentPanelDlg.h"
#include "app/setup/CBatchingDlgs.h"
#include "app/setup/CCalibrationPage.h"
#include "app/setup/CKelSetUpPropSheet.h"
#include "sim/Kel7Model.h"
#include "sim/Kel7Registers.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <set>

namespace quarnex::test {
namespace {

using namespace sim::kel7;

constexpr int kAddress = 1;
constexpr int kContrast = 3; // "Display contrast:", factory value 4

class SetupSheetWindowTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        // Modal windows are answered from zero-time timers: no progress window may run them early.
        BusProgressWindow::SetShowAfterForAll(BusProgressWindow::kNever);
        BusFixture::SetUp();
        bus_.Attach(kAddress, sim::MakeKel7({}));
        MakeMaster();
        hooks_.setupSheet = [this](QWidget* parent, int address, InstrumentPanel::SheetMode mode) {
            CKelSetUpPropSheet::Run(parent, *master_, address, mode, prompter_);
        };
        hooks_.batchingSheet = hooks_.setupSheet;
    }
    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }
    float Contrast() {
        return Kel([](sim::Kel7Model& m) { return m.NormalValue(kContrast); });
    }
    int State() {
        return Kel([](sim::Kel7Model& m) { return m.State(); });
    }
    std::vector<int> Coils() {
        return Kel([](sim::Kel7Model& m) {
            std::vector<int> coils;
            for (const auto& c : m.Commands())
                coils.push_back(c.coil);
            return coils;
        });
    }
    // Clicks a panel button; sheet runs on the sheet once it is up.
    void OpenFromPanel(QPushButton* button, std::function<void(CKelSetUpPropSheet&)> sheet) {
        bool ran = false;
        WhenModal<CKelSetUpPropSheet>([&](CKelSetUpPropSheet& s) {
            ran = true;
            sheet(s);
        });
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(ran);
    }
    // ">>" of "Display contrast:" on the General page, reached with Return on the focused ">>"
    // (never the sheet's OK), choosing position index.
    void ChangeContrast(CKelSetUpPropSheet& sheet, int index) {
        CKelSetUpPage* general = sheet.Page(0);
        ASSERT_NE(general, nullptr);
        const CSetupRow* row = general->RowOf(kContrast);
        ASSERT_NE(row, nullptr);
        ASSERT_TRUE(row->EditButton()->isVisible());
        WhenModal<CChoiceDlg>([index](CChoiceDlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Display contrast:");
            EXPECT_EQ(dialog.List()->count(), 8);
            dialog.List()->setCurrentIndex(index);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        });
        row->EditButton()->setFocus();
        QTest::keyClick(row->EditButton(), Qt::Key_Return);
        EXPECT_EQ(row->Value()->text(), QString::number(index)); // read back after the write
    }

    PanelHooks hooks_;
};

TEST_F(SetupSheetWindowTest, EditSetupFromThePanelSavesAChangedValueOnOk) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_, hooks_);
    panel.Start();
    panel.OnTimer();
    EXPECT_TRUE(panel.EditSetupButton()->toolTip().isEmpty());
    EXPECT_TRUE(panel.ShowSetupButton()->toolTip().isEmpty());
    EXPECT_TRUE(panel.EditBatchingButton()->isEnabled());
    EXPECT_TRUE(panel.EditBatchingButton()->toolTip().isEmpty());
    EXPECT_TRUE(panel.EditRecipesButton()->isEnabled());
    EXPECT_TRUE(panel.EditRecipesButton()->toolTip().isEmpty());

    prompter_.Answer(true); // "Entering set-up mode. Do you want to continue ?"
    OpenFromPanel(panel.EditSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "KEL set-up, address 1 (Edit set-up)");
        EXPECT_FALSE(sheet.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(sheet.CancelButton()->isVisible());
        // Every page of a Recipe Batcher with flow rate and special parameters.
        EXPECT_EQ(sheet.Tabs()->count(), 13);
        EXPECT_EQ(sheet.Tabs()->tabText(0), "General");
        EXPECT_EQ(sheet.Tabs()->tabText(12), "Special menu");
        EXPECT_EQ(State(), kStateRemoteSetup);
        ChangeContrast(sheet, 6);

        // Another tab: edit mode reads nothing when the user only looks.
        const size_t requests = bus_.RequestCount(kAddress);
        sheet.Tabs()->setCurrentIndex(1);
        EXPECT_EQ(bus_.RequestCount(kAddress), requests);
        EXPECT_FALSE(sheet.CurrentPage()->TimerActive());

        prompter_.Answer(true); // "Save changes and exit set-up ?"
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_FLOAT_EQ(Contrast(), 6.0f);
    EXPECT_EQ(State(), kStateNormal);
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilRemoteSetup, kCoilCheck, kCoilSave}));
    // The panel refreshes at once after editing.
    EXPECT_TRUE(panel.TimerActive());
    EXPECT_EQ(panel.TimerInterval(), 0);

    // Show set-up reads the saved value back; it offers no ">>", no Cancel, and leaves at once.
    OpenFromPanel(panel.ShowSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "KEL set-up, address 1 (Show set-up)");
        EXPECT_FALSE(sheet.CancelButton()->isVisible());
        CKelSetUpPage* general = sheet.Page(0);
        EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "6");
        EXPECT_TRUE(general->TimerActive());
        for (int tab = 0; tab < sheet.Tabs()->count(); ++tab) {
            // Only an activity's or a recipe's ">>" stays: its dialog shows without editing.
            CKelSetUpPage* page = sheet.Page(tab);
            for (size_t i = 0; i < page->Rows().size(); ++i)
                EXPECT_NE(page->Row(i).EditButton()->isHidden(),
                          OpensDialog(page->Logic().CurrentRows().at(i)));
        }
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_FALSE(general->TimerActive());
    });
    EXPECT_EQ(panel.TimerInterval(), 200);
    EXPECT_EQ(prompter_.PendingAnswers(), 0u);
    EXPECT_EQ(State(), kStateNormal);
    panel.done(QDialog::Rejected);
}

TEST_F(SetupSheetWindowTest, CancelEscapeAndTheCloseRequestAskBeforeDiscarding) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_, hooks_);
    panel.Start();
    panel.OnTimer();
    prompter_.Answer(true);
    OpenFromPanel(panel.EditSetupButton(), [&](CKelSetUpPropSheet& sheet) {
        ChangeContrast(sheet, 1);
        EXPECT_FLOAT_EQ(Contrast(), 1.0f); // written at once, kept only on save

        // "Exit set-up WITHOUT save ?" answered No, by Escape and by the close request: the
        // sheet stays open and sends nothing.
        const size_t coils = Coils().size();
        prompter_.Answer(false);
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_TRUE(sheet.isVisible());
        prompter_.Answer(false);
        sheet.close();
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(Coils().size(), coils);

        prompter_.Answer(true);
        QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_FLOAT_EQ(Contrast(), 4.0f);
    EXPECT_EQ(State(), kStateNormal);
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilRemoteSetup, kCoilDiscard}));
    std::vector<std::string> questions;
    for (const auto& box : prompter_.Boxes())
        questions.push_back(box.text);
    EXPECT_EQ(questions,
              (std::vector<std::string>{"Entering set-up mode. Do you want to continue ?",
                                        "Exit set-up WITHOUT save ?", "Exit set-up WITHOUT save ?",
                                        "Exit set-up WITHOUT save ?"}));
    panel.done(QDialog::Rejected);
}

TEST_F(SetupSheetWindowTest, ShowSetupRefreshesTheCurrentPageAndEscapeLeavesWithoutQuestions) {
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::ShowSetup, prompter_);
    ASSERT_TRUE(sheet.Start());
    sheet.show();
    // It opens as large as its largest page and its whole row of tabs, within the screen.
    const QSize room = sheet.screen()->availableGeometry().size();
    EXPECT_LE(sheet.width(), std::max(room.width(), sheet.minimumSizeHint().width()));
    EXPECT_LE(sheet.height(), std::max(room.height(), sheet.minimumSizeHint().height()));
    EXPECT_GE(sheet.width(),
              std::min(sheet.Tabs()->tabBar()->sizeHint().width(), room.width() - 16));
    EXPECT_GE(sheet.height(), std::min(sheet.sizeHint().height(), room.height() - 48));
    // The values stand in one column on every parameter page that shows all its rows (the
    // Calibration page has its live part beside them; the batching pages show names beside the
    // activities and the recipes in two columns).
    std::set<int> columns;
    for (int tab = 0; tab < sheet.Tabs()->count(); ++tab) {
        sheet.Tabs()->setCurrentIndex(tab);
        CKelSetUpPage* page = sheet.Page(tab);
        const auto* rows = page ? page->findChild<QScrollArea*>() : nullptr;
        if (!rows || qobject_cast<CCalibrationPage*>(page) ||
            rows->verticalScrollBar()->isVisible() ||
            page->Logic().Descriptor().rows.front().kind != RowKind::Parameter)
            continue;
        for (QLineEdit* value : rows->widget()->findChildren<QLineEdit*>())
            if (value->isVisible())
                columns.insert(value->mapTo(page, QPoint()).x());
    }
    EXPECT_EQ(columns.size(), 1u);
    sheet.Tabs()->setCurrentIndex(0);
    CKelSetUpPage* general = sheet.Page(0);
    general->SetManualTicks(true);
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "4");
    Kel([](sim::Kel7Model& m) { m.SetNormalValue(kContrast, 7.0f); });
    general->OnTimer(); // phase 0 reads the normal values
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "7");

    // The instrument goes silent: dashes, no message.
    bus_.Detach(kAddress);
    for (int tick = 0; tick < 4; ++tick)
        general->OnTimer();
    EXPECT_EQ(general->RowOf(kContrast)->Value()->text(), "----------");

    // Another tab polls instead; the General page stops.
    sheet.Tabs()->setCurrentIndex(2);
    EXPECT_FALSE(general->TimerActive());
    EXPECT_TRUE(sheet.CurrentPage()->TimerActive());
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(sheet.CurrentPage()->TimerActive());
    EXPECT_TRUE(prompter_.Boxes().empty());
}

// Every page shows all its controls at the size the sheet opens with: none asks for more room than
// it gets, and no ">>" (the Recipes page's second column) is cut off at the right edge. A widened
// sheet keeps each label beside its field.
TEST_F(SetupSheetWindowTest, EveryPageShowsAllItsControlsAtTheOpeningSize) {
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::EditSetup, prompter_);
    ASSERT_TRUE(sheet.Start());
    sheet.show();
    QApplication::processEvents();
    bool recipes = false;
    const auto checkPages = [&] {
        for (int tab = 0; tab < sheet.Tabs()->count(); ++tab) {
            sheet.Tabs()->setCurrentIndex(tab);
            QApplication::processEvents();
            const std::string name = sheet.Tabs()->tabText(tab).toStdString();
            recipes = recipes || name == "Recipes";
            QWidget* page = sheet.Tabs()->currentWidget();
            EXPECT_LE(page->minimumSizeHint().width(), page->width()) << name;
            EXPECT_LE(page->minimumSizeHint().height(), page->height()) << name;
            const auto* rows = page->findChild<QScrollArea*>();
            QWidget* visible = rows ? rows->viewport() : page;
            for (QPushButton* button : page->findChildren<QPushButton*>()) {
                if (!button->isVisible())
                    continue;
                const QPoint at = button->mapTo(visible, QPoint());
                EXPECT_LE(at.x() + button->width(), visible->width())
                    << name << ": " << button->text().toStdString();
            }
        }
    };
    checkPages();
    EXPECT_TRUE(recipes);
    const auto gap = [&] {
        sheet.Tabs()->setCurrentIndex(0);
        QApplication::processEvents();
        const CSetupRow* row = sheet.Page(0)->RowOf(kContrast);
        const QLabel* label = row->Label();
        const int textEnd =
            label->mapTo(&sheet, QPoint()).x() +
            (label->alignment() & Qt::AlignRight ? label->width() : label->sizeHint().width());
        return row->Value()->mapTo(&sheet, QPoint()).x() - textEnd;
    };
    const int opened = gap();
    sheet.resize(sheet.width() + 300, sheet.height());
    QApplication::processEvents();
    EXPECT_EQ(gap(), opened);
    checkPages();
    sheet.reject();
}

TEST_F(SetupSheetWindowTest, CalibrationPageInEditModeShowsALiveWeightThatFollowsTheLoad) {
    Kel([](sim::Kel7Model& m) { m.SetLoad(123.4); });
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::EditSetup, prompter_);
    ASSERT_TRUE(sheet.Start());
    sheet.show();
    ASSERT_EQ(sheet.Tabs()->tabText(2), "Calibration");
    auto* page = qobject_cast<CCalibrationPage*>(sheet.Page(2));
    ASSERT_NE(page, nullptr);
    page->SetManualTicks(true);
    sheet.Tabs()->setCurrentIndex(2);
    EXPECT_EQ(page->GrossField()->text().trimmed(), "----------"); // nothing measured yet

    page->OnTimer();
    EXPECT_EQ(page->GrossField()->text().trimmed(), "123.4");
    EXPECT_EQ(page->SignalField()->text().trimmed(), "0.34680");
    EXPECT_EQ(page->RowOf(55)->Value()->text().trimmed(), "123.4"); // "Set zero:"
    Kel([](sim::Kel7Model& m) { m.SetLoad(500.0); });
    page->OnTimer();
    EXPECT_EQ(page->GrossField()->text().trimmed(), "500.0");

    // The factory calibration is a deadweight one: its measured signals have no ">>", and the
    // points beyond "Number of calib. points:" (2) are disabled.
    EXPECT_TRUE(page->RowOf(47)->EditButton()->isHidden());
    EXPECT_FALSE(page->RowOf(43)->EditButton()->isEnabled());
    EXPECT_TRUE(page->RowOf(32)->EditButton()->isEnabled());

    // Other tabs do not read; the live page stops when it is left.
    sheet.Tabs()->setCurrentIndex(0);
    EXPECT_FALSE(page->TimerActive());

    prompter_.Answer(true); // "Exit set-up WITHOUT save ?"
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(State(), kStateNormal);
}

TEST_F(SetupSheetWindowTest, CalibrationTypeChangeAsksTheWarningAndNoWritesNothingButReReads) {
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::EditSetup, prompter_);
    ASSERT_TRUE(sheet.Start());
    sheet.show();
    auto* page = qobject_cast<CCalibrationPage*>(sheet.Page(2));
    ASSERT_NE(page, nullptr);
    page->SetManualTicks(true);
    sheet.Tabs()->setCurrentIndex(2);
    const size_t writes = Kel([](sim::Kel7Model& m) { return m.Writes().size(); });
    const size_t requests = bus_.RequestCount(kAddress);
    prompter_.Answer(false); // "Do you want to start a new calibration?"
    WhenModal<CChoiceDlg>([](CChoiceDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Calibration type:");
        dialog.List()->setCurrentIndex(0); // "Data sheet"
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    QTest::mouseClick(page->RowOf(32)->EditButton(), Qt::LeftButton);
    EXPECT_EQ(Kel([](sim::Kel7Model& m) { return m.Writes().size(); }), writes);
    EXPECT_GT(bus_.RequestCount(kAddress), requests); // ended with OK: the page read again
    EXPECT_EQ(page->RowOf(32)->Value()->text(), "Deadweight");
    ASSERT_FALSE(prompter_.Boxes().empty());
    EXPECT_EQ(prompter_.Boxes().back().text,
              "Do you want to start a new calibration?\n (Current calibration will be lost)");
    // The page's timer is running again after the dialog.
    page->SetManualTicks(false);
    prompter_.Answer(true);
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(SetupSheetWindowTest, EditRecipesFromThePanelChangesASetPointAndLeavesBatchSetupOnOk) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_, hooks_);
    panel.Start();
    panel.OnTimer();
    ASSERT_TRUE(panel.EditRecipesButton()->isEnabled());
    OpenFromPanel(panel.EditRecipesButton(), [&](CKelSetUpPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "KEL set-up, address 1 (Edit Recipes)");
        EXPECT_FALSE(sheet.CancelButton()->isVisible());
        ASSERT_EQ(sheet.Tabs()->count(), 1);
        EXPECT_EQ(sheet.Tabs()->tabText(0), "Recipes");
        EXPECT_TRUE(Kel([](sim::Kel7Model& m) { return m.InBatchSetup(); }));
        CKelSetUpPage* recipes = sheet.Page(0);
        ASSERT_NE(recipes, nullptr);
        WhenModal<CRecipeDlg>([](CRecipeDlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Recipe no 2");
            EXPECT_EQ(dialog.Line(0, false).Value()->text(), "01:Component A");
            WhenModal<CNumberDlg>([](CNumberDlg& number) {
                number.Edit()->setText("37");
                QTest::mouseClick(number.OkButton(), Qt::LeftButton);
            });
            QTest::mouseClick(dialog.Line(0, true).EditButton(), Qt::LeftButton);
            EXPECT_EQ(dialog.Line(0, true).Value()->text().toDouble(), 37.0);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(recipes->Row(1).EditButton(), Qt::LeftButton); // recipe 2
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    // Line 1 of recipe 2: its set point follows its activity.
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.RecipeValue(60 + 1); }), 37.0f);
    EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.InBatchSetup(); }));
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilBatchEnter, kCoilBatchLeave}));
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    panel.done(QDialog::Rejected);
}

TEST_F(SetupSheetWindowTest, EditBatchingLeavesBatchSetupOnEscapeAndOnTheCloseRequest) {
    for (bool escape : {true, false}) {
        CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::EditBatching, prompter_);
        ASSERT_TRUE(sheet.Start());
        sheet.show();
        ASSERT_EQ(sheet.Tabs()->count(), 3);
        for (int tab = 0; tab < 3; ++tab)
            EXPECT_NE(sheet.Page(tab), nullptr) << tab;
        sheet.Tabs()->setCurrentIndex(2);
        if (escape)
            QTest::keyClick(&sheet, Qt::Key_Escape);
        else
            sheet.close();
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.InBatchSetup(); }));
    }
    EXPECT_EQ(Coils(), (std::vector<int>{kCoilBatchEnter, kCoilBatchLeave, kCoilBatchEnter,
                                         kCoilBatchLeave}));
}

TEST_F(SetupSheetWindowTest, AnInstrumentWithoutOptionsAndSpecialParametersHasEightPages) {
    constexpr int kPlain = 2;
    sim::Kel7Options options;
    options.address = kPlain;
    options.batchingOption = false;
    options.flowRateOption = false;
    options.specialCount = 0;
    bus_.Attach(kPlain, sim::MakeKel7(options));
    CKelSetUpPropSheet sheet(*master_, kPlain, SheetMode::ShowSetup, prompter_);
    ASSERT_TRUE(sheet.Start());
    QStringList tabs;
    for (int tab = 0; tab < sheet.Tabs()->count(); ++tab) {
        tabs << sheet.Tabs()->tabText(tab);
        EXPECT_NE(sheet.Page(tab), nullptr);
    }
    EXPECT_EQ(tabs, (QStringList{"General", "Calib param", "Calibration", "Communication",
                                 "Level supervision", "Inputs", "Outputs", "Analogue outputs"}));
    EXPECT_NE(qobject_cast<CCalibrationPage*>(sheet.Page(2)), nullptr);
}

TEST_F(SetupSheetWindowTest, ASheetThatCannotEnterSetupIsNeverShown) {
    // The instrument refuses remote set-up while it is in local set-up.
    Kel([](sim::Kel7Model& m) { m.SetState(3); });
    CKelSetUpPropSheet sheet(*master_, kAddress, SheetMode::EditSetup, prompter_);
    EXPECT_FALSE(sheet.Start());
    EXPECT_EQ(sheet.Tabs()->count(), 0);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(Coils(), std::vector<int>{kCoilRemoteSetup});
}

} // namespace
} // namespace quarnex::test
