// Window tests of the instrument panel, its side windows and the value-entry dialogs on the
// offscreen platform, against the simulated bus. Ticks are driven by calling the timer handlers;
// a modal window is worked from a zero-time timer that fires inside its event loop.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"

#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSplashWnd.h"
#include "app/edit/CValueEntryDlg.h"
#include "app/panel/CBitmapButton.h"
#include "app/panel/CInstrumentPanelDlg.h"
#include "app/panel/CSideWindowDlgs.h"
#include "app/panel/OpenPanel.h"
#include "app/panel/PanelPictures.h"
#include "edit/ValueTarget.h"
#include "monitor/WatchedSet.h"
#include "sim/Kel7Model.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace quarnex::test {
namespace {

constexpr int kAddress = 1;

class PanelWindowTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        profile_.WriteInt("Comm Param", "Baud", 115200);
        sim::Kel7Options options;
        options.load = 250.0;
        bus_.Attach(kAddress, sim::MakeKel7(options));
        MakeMaster();
    }
    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }
    std::vector<int> Coils() {
        return Kel([](sim::Kel7Model& m) {
            std::vector<int> coils;
            for (const auto& c : m.Commands())
                coils.push_back(c.coil);
            return coils;
        });
    }
};

// The row the user types in stays whole: "New value:", then the edit, then the dialog's own
// buttons. Both widgets sit directly in the dialog, so their geometries compare.
void ExpectRightOf(QWidget* right, QWidget* left) {
    QApplication::processEvents();
    EXPECT_GE(right->geometry().left(), left->geometry().right())
        << right->objectName().toStdString();
}

TEST_F(PanelWindowTest, DoubleClickOpensThePanelAndTareSwitchesToNet) {
    CSplashWnd::EnableSplashScreen(false);
    AddressFlags watched{};
    watched[kAddress] = true;
    SaveWatchedSet(profile_, watched);
    master_.reset(); // the frame owns the program's one master
    CMainFrame frame(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame.Create());
    frame.show();
    CQuarnexView& view = *frame.View();
    // The panel runs on the frame's own master, as the program wires it.
    bool opened = false;
    view.SetPanelOpener([&](int address) {
        EXPECT_FALSE(view.TimerActive());
        WhenModal<CInstrumentPanelDlg>([&](CInstrumentPanelDlg& panel) {
            opened = true;
            EXPECT_EQ(panel.windowTitle(), "KEL 7, address 1");
            EXPECT_TRUE(panel.TimerActive());
            EXPECT_EQ(panel.TimerInterval(), 200);
            panel.SetManualTicks(true);
            panel.OnTimer();
            EXPECT_FALSE(panel.TimerActive());
            EXPECT_EQ(panel.GrossNetLabel()->text(), "GROSS");
            EXPECT_EQ(panel.NameField()->text(), "KEL 7");
            EXPECT_FALSE(panel.DisplayedField()->text().isEmpty());
            ASSERT_TRUE(panel.TareButton()->isEnabled());
            QTest::mouseClick(panel.TareButton(), Qt::LeftButton);
            panel.OnTimer();
            EXPECT_EQ(panel.GrossNetLabel()->text(), "NET");
            QTest::mouseClick(panel.CloseButton(), Qt::LeftButton);
        });
        OpenInstrumentPanel(&frame, frame.Session(), frame.Bus(), address, prompter_);
    });
    view.OnTimer();
    QTreeWidgetItem* first = view.List()->topLevelItem(0);
    ASSERT_NE(first, nullptr);
    view.List()->setCurrentItem(first);
    emit view.List()->itemDoubleClicked(first, 0);
    EXPECT_TRUE(opened);
    EXPECT_EQ(Coils(), std::vector<int>{7});
    EXPECT_TRUE(view.TimerActive());
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(PanelWindowTest, SelectInstrumentOpensThePanelOfTheAddressTyped) {
    CSplashWnd::EnableSplashScreen(false);
    master_.reset(); // the frame owns the program's one master
    CMainFrame frame(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame.Create());
    CQuarnexView& view = *frame.View();
    std::vector<int> opened;
    view.SetPanelOpener([&](int address) { opened.push_back(address); });
    view.SetInstrumentSelector([&](int& address, InstrumentType& type) {
        return SelectInstrument(&frame, frame.Bus(), prompter_, address, type);
    });
    WhenModal<CSelectInstrumentDlg>([](CSelectInstrumentDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select instrument");
        dialog.Edit()->setText("1");
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    frame.Action(CMainFrame::kSelectInstrument)->trigger();
    EXPECT_EQ(opened, std::vector<int>{1});
    EXPECT_TRUE(prompter_.Boxes().empty());
}

TEST_F(PanelWindowTest, WeighingKeysHaveFourPicturesEach) {
    for (const char* key : {"TARE", "GRNET", "ZERO"}) {
        QList<QImage> images;
        for (const char* suffix : {"U", "D", "F", "X"}) {
            const QPixmap picture =
                panelpictures::ButtonPicture(QLatin1String(key) + QLatin1String(suffix));
            ASSERT_FALSE(picture.isNull()) << key << suffix;
            EXPECT_EQ(picture.size(), QSize(panelpictures::kWidth, panelpictures::kHeight));
            for (const QImage& other : images)
                EXPECT_NE(picture.toImage(), other) << key << suffix;
            images.push_back(picture.toImage());
        }
    }
    EXPECT_TRUE(panelpictures::ButtonPicture("TAREQ").isNull());
    EXPECT_TRUE(panelpictures::ButtonPicture("HELPU").isNull());
}

TEST_F(PanelWindowTest, PanelRendersEnableRulesAndMovesTheFocusToClose) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_);
    panel.SetManualTicks(true);
    panel.Start();
    panel.show();
    panel.OnTimer();
    EXPECT_FALSE(panel.HelpButton()->isVisible());
    // Set-up sheet, backup and restore are not part of this program yet.
    for (QPushButton* b :
         {panel.EditSetupButton(), panel.ShowSetupButton(), panel.EditBatchingButton(),
          panel.EditRecipesButton(), panel.BackupButton(), panel.RestoreButton()}) {
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
        EXPECT_EQ(b->toolTip(), "Not available in this version of Quarnex.");
    }
    EXPECT_TRUE(panel.LevelsButton()->isEnabled());
    EXPECT_EQ(panel.TareButton()->CurrentPicture(), CBitmapButton::kUp);

    Kel([](sim::Kel7Model& m) { m.SetError(97); });
    panel.LevelsButton()->setFocus();
    panel.OnTimer();
    EXPECT_FALSE(panel.TareButton()->isEnabled());
    EXPECT_EQ(panel.TareButton()->CurrentPicture(), CBitmapButton::kDisabled);
    EXPECT_EQ(panel.NameField()->text(), "------");
    EXPECT_EQ(panel.focusWidget(), panel.CloseButton());
}

TEST_F(PanelWindowTest, IndicationsHaveTheirRoomBeforeTheFirstTick) {
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_);
    panel.SetManualTicks(true);
    panel.Start();
    panel.show();
    QApplication::processEvents();
    const QSize before = panel.size();
    Kel([](sim::Kel7Model& m) { m.Pin(40010, 0x0080); }); // gross, in motion
    panel.OnTimer();
    QApplication::processEvents();
    EXPECT_EQ(panel.size(), before); // the window does not jump on the first tick
    for (QLabel* label : {panel.GrossNetLabel(), panel.MotionZeroLabel()})
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
}

TEST_F(PanelWindowTest, PanelWithASetupSheetStopsPollingAroundIt) {
    bool sheetRan = false;
    PanelHooks hooks;
    hooks.setupSheet = [&](QWidget*, int address, InstrumentPanel::SheetMode mode) {
        sheetRan = true;
        EXPECT_EQ(address, kAddress);
        EXPECT_EQ(mode, InstrumentPanel::SheetMode::ShowSetup);
    };
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter_, hooks);
    panel.Start();
    panel.OnTimer();
    ASSERT_TRUE(panel.ShowSetupButton()->isEnabled());
    EXPECT_TRUE(panel.BackupButton()->toolTip().startsWith("Not available"));
    QTest::mouseClick(panel.ShowSetupButton(), Qt::LeftButton);
    EXPECT_TRUE(sheetRan);
    EXPECT_TRUE(panel.TimerActive());
    EXPECT_EQ(panel.TimerInterval(), 200);
    panel.done(QDialog::Rejected);
    EXPECT_FALSE(panel.TimerActive());
}

// Notes, at each Yes/No question, whether the panel was still polling.
class ObservingPrompter : public ScriptedPrompter {
public:
    std::function<void()> onQuestion;
    bool AskDestructive(Icon icon, const std::string& text, const std::string& caption) override {
        if (onQuestion)
            onQuestion();
        return ScriptedPrompter::AskDestructive(icon, text, caption);
    }
};

TEST_F(PanelWindowTest, EditSetupAsksAndChecksWithPollingStopped) {
    ObservingPrompter prompter;
    CInstrumentPanelDlg* panelOf = nullptr;
    std::vector<bool> pollingAtQuestion;
    std::vector<bool> pollingInSheet;
    prompter.onQuestion = [&] { pollingAtQuestion.push_back(panelOf->TimerActive()); };
    PanelHooks hooks;
    hooks.setupSheet = [&](QWidget*, int, InstrumentPanel::SheetMode mode) {
        EXPECT_EQ(mode, InstrumentPanel::SheetMode::EditSetup);
        pollingInSheet.push_back(panelOf->TimerActive());
    };
    CInstrumentPanelDlg panel(InlineSession(), *master_, kAddress, prompter, hooks);
    panelOf = &panel;
    panel.Start();
    panel.OnTimer();
    ASSERT_TRUE(panel.EditSetupButton()->isEnabled());

    // Declined: no sheet, polling goes on at the active period.
    QTest::mouseClick(panel.EditSetupButton(), Qt::LeftButton);
    EXPECT_EQ(pollingAtQuestion, std::vector<bool>{false});
    EXPECT_TRUE(pollingInSheet.empty());
    EXPECT_TRUE(panel.TimerActive());
    EXPECT_EQ(panel.TimerInterval(), 200);

    // Confirmed: the sheet runs without polling, and the panel refreshes at once afterwards.
    prompter.Answer(true);
    QTest::mouseClick(panel.EditSetupButton(), Qt::LeftButton);
    EXPECT_EQ(pollingAtQuestion, (std::vector<bool>{false, false}));
    EXPECT_EQ(pollingInSheet, std::vector<bool>{false});
    EXPECT_TRUE(panel.TimerActive());
    EXPECT_EQ(panel.TimerInterval(), 0);
    panel.done(QDialog::Rejected);
}

TEST_F(PanelWindowTest, InformationWindowRenamesTheInstrument) {
    CInstrumentInfoDlg info(InlineSession(), *master_, kAddress, prompter_);
    info.SetManualTicks(true);
    info.Start();
    EXPECT_EQ(info.windowTitle(), "KEL 7 Instrument information, address 1");
    info.OnTimer();
    EXPECT_EQ(info.NameField()->text(), "KEL 7");
    EXPECT_EQ(info.SerialField()->text(), "12-3456");
    std::string caption;
    WhenModal<CTextDlg>([&](CTextDlg& editor) {
        caption = editor.windowTitle().toStdString();
        EXPECT_EQ(editor.Edit()->text(), "KEL 7");
        editor.Edit()->setText("Bin 12");
        QTest::mouseClick(editor.OkButton(), Qt::LeftButton);
    });
    QTest::mouseClick(info.EditNameButton(), Qt::LeftButton);
    EXPECT_EQ(caption, "Instrument name");
    info.OnTimer();
    EXPECT_EQ(info.NameField()->text(), "Bin 12");
}

TEST_F(PanelWindowTest, LevelsWindowOpensTheLevelEditor) {
    Kel([](sim::Kel7Model& m) { m.Pin(40045, 0x0002); });
    CLevelsDlg levels(InlineSession(), *master_, kAddress, prompter_);
    levels.SetManualTicks(true);
    levels.Start();
    levels.OnTimer();
    EXPECT_EQ(levels.windowTitle(), "KEL 7 Levels, address 1");
    EXPECT_EQ(levels.StatusField(1)->text(), "0");
    // A status field has room for the placeholder of a failed read.
    const QFontMetrics metrics(levels.StatusField(1)->font());
    EXPECT_GT(levels.StatusField(1)->maximumWidth(), metrics.horizontalAdvance("------"));
    EXPECT_EQ(levels.StatusField(2)->text(), "1");
    ASSERT_TRUE(levels.EditButton(2)->isEnabled());
    WhenModal<CNumberDlg>([&](CNumberDlg& editor) {
        EXPECT_EQ(editor.windowTitle(), "Level 2");
        EXPECT_EQ(editor.Edit()->text(), levels.LevelField(2)->text());
        editor.Edit()->setText("42");
        QTest::mouseClick(editor.OkButton(), Qt::LeftButton);
    });
    QTest::mouseClick(levels.EditButton(2), Qt::LeftButton);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(2); }), 42.0f);
}

TEST_F(PanelWindowTest, NumberDialogStaysOpenOnATypingError) {
    BusValueTarget instrument(*master_, kAddress);
    NumericEntry entry(instrument, 41826, "Level 1", "100", prompter_);
    CNumberDlg dialog(entry);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Level 1");
    EXPECT_EQ(dialog.Edit()->text(), "100");
    dialog.Edit()->setText("12a");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Edit()->text(), "12a");
    EXPECT_EQ(prompter_.LastText(), "Illegal character in entered value.");
    dialog.Edit()->setText("55");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 55.0f);
}

TEST_F(PanelWindowTest, AdjustDialogIsNeverShownWhenItsFirstWriteFails) {
    bool shown = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = true;
            modal->close();
        }
    });
    guard.start(0);
    AdjustmentEntry entry(*master_, kAddress, 41000 + 2 * 145, 41812, "1: Low adjust:", 5,
                          prompter_);
    EXPECT_FALSE(CAdjustDlg::Run(entry, nullptr)); // not in remote set-up: refused
    EXPECT_FALSE(shown);
    EXPECT_FALSE(prompter_.Boxes().empty());
}

TEST_F(PanelWindowTest, AdjustDialogEnablesApplyWhileAValueIsPending) {
    ASSERT_EQ(master_->WriteSingleCoil(kAddress, 100, true), CommStatus::Ok);
    AdjustmentEntry entry(*master_, kAddress, 41000 + 2 * 145, 41812, "1: Low adjust:", 5,
                          prompter_);
    ASSERT_TRUE(entry.Create());
    CAdjustDlg dialog(entry);
    dialog.show();
    ExpectRightOf(dialog.Edit(), dialog.findChild<QLabel*>());
    ExpectRightOf(dialog.ApplyButton(), dialog.Edit());
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    dialog.Edit()->selectAll();
    QTest::keyClicks(dialog.Edit(), "77");
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.ApplyButton()->isEnabled());
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.NormalValue(145); }), 77.0f);
    QTest::keyClick(&dialog, Qt::Key_Escape); // leaves like "Close"
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Kel([](sim::Kel7Model& m) { return m.Writes().back().reg; }), 41812);
}

TEST_F(PanelWindowTest, ShuntDialogMeasuresWithTheResistorConnected) {
    ASSERT_EQ(master_->WriteSingleCoil(kAddress, 100, true), CommStatus::Ok);
    ShuntEntry entry(*master_, kAddress, 41826, "Calibration force", "1.0", prompter_);
    CShuntDlg dialog(entry);
    dialog.SetManualTicks(true);
    dialog.show();
    ExpectRightOf(dialog.Edit(), dialog.findChild<QLabel*>());
    ExpectRightOf(dialog.ConnectButton(), dialog.Edit());
    dialog.OnTimer();
    QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.ConnectButton()->isEnabled());
    EXPECT_TRUE(dialog.Edit()->isReadOnly());
    EXPECT_EQ(dialog.Edit()->text(), "----------");
    dialog.OnTimer();
    EXPECT_NE(dialog.Edit()->text(), "----------");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(Kel([](sim::Kel7Model& m) { return m.ShuntConnected(); }));
}

TEST_F(PanelWindowTest, ChoiceAndAddressDialogs) {
    BusValueTarget instrument(*master_, kAddress);
    ChoiceEntry choice(instrument, 41826, "Activity type:", 15200, 15210, 1, prompter_);
    CChoiceDlg choiceDlg(choice);
    EXPECT_EQ(choiceDlg.List()->count(), 11);
    EXPECT_EQ(choiceDlg.List()->currentIndex(), 1);
    choiceDlg.List()->setCurrentIndex(4);
    QTest::mouseClick(choiceDlg.OkButton(), Qt::LeftButton);
    EXPECT_EQ(choiceDlg.result(), QDialog::Accepted);
    EXPECT_FLOAT_EQ(Kel([](sim::Kel7Model& m) { return m.LevelValue(1); }), 4.0f);

    AddressEntry address(*master_, prompter_);
    CSelectInstrumentDlg select(address);
    select.show();
    EXPECT_EQ(select.windowTitle(), "Select instrument");
    select.Edit()->setText("248");
    QTest::mouseClick(select.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(select.isVisible());
    EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 1 and 247.");
    select.Edit()->setText("1");
    QTest::mouseClick(select.OkButton(), Qt::LeftButton);
    EXPECT_EQ(select.result(), QDialog::Accepted);
    EXPECT_EQ(address.Address(), 1);
}

} // namespace
} // namespace quarnex::test
