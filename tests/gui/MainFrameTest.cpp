// Window tests: the real frame and dialogs on the offscreen platform, against the simulated bus.
// Polling is driven by calling the timer handlers; modal dialogs are worked from a zero-time
// timer that fires inside their event loop.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"

#include "app/CAboutDlg.h"
#include "app/CCommSetupDlg.h"
#include "app/CInstrToViewPropSheet.h"
#include "app/CInstrumentSearchDlg.h"
#include "app/CMainFrame.h"
#include "app/CQuarnexApp.h"
#include "app/CQuarnexView.h"
#include "app/CSetupFileDlgs.h"
#include "app/CSplashWnd.h"
#include "sim/Kel7Model.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/wait.h>

#include <unistd.h>

namespace quarnex::test {
namespace {

QPushButton* ButtonWithText(QWidget& parent, const QString& text) {
    for (QPushButton* b : parent.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

class FrameTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        CSplashWnd::EnableSplashScreen(false);
        profile_.WriteInt("Comm Param", "Baud", 115200);
    }
    void TearDown() override {
        frame_.reset();
        BusFixture::TearDown();
    }
    void Kel7(int address, int setupVersion = 1310) {
        sim::Kel7Options options;
        options.setupVersion = setupVersion;
        options.load = 12.5;
        bus_.Attach(address, std::make_shared<sim::Kel7Model>(options));
    }
    void Watch(std::initializer_list<int> addresses) {
        AddressFlags watched{};
        for (int a : addresses)
            watched[a] = true;
        SaveWatchedSet(profile_, watched);
    }
    void Start() {
        frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
        ASSERT_TRUE(frame_->Create());
        frame_->show();
    }
    CQuarnexView& View() { return *frame_->View(); }
    QTreeWidget& List() { return *View().List(); }
    void Poll(int ticks) {
        for (int i = 0; i < ticks; ++i)
            View().OnTimer();
    }

    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(FrameTest, StartsSizedAndCentredAndListsTheSimulatedInstruments) {
    Kel7(1);
    Kel7(2, 1300);
    Watch({1, 2, 9});
    Start();
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_EQ(frame_->windowTitle().toStdString(), "COM1 (" + bus_.DevicePath() + ") - Quarnex");
    // Message boxes and dialogs are titled with the display name, not the program's file name.
    CQuarnexApp::NameApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Quarnex");
    EXPECT_EQ(QCoreApplication::applicationName(), "quarnex");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frame_->width(), screen.width() * 7 / 8);
    EXPECT_EQ(frame_->height(), screen.height() * 7 / 8);
    EXPECT_EQ(frame_->x(), (screen.width() - screen.width() * 7 / 8) / 2);
    EXPECT_TRUE(View().TimerActive());

    ASSERT_EQ(List().topLevelItemCount(), 3);
    EXPECT_EQ(List().headerItem()->text(0), "Instrument");
    EXPECT_EQ(List().headerItem()->text(1), "Addr.");
    EXPECT_EQ(List().headerItem()->text(2), "Value");
    // The columns are sized from the font: the longest model name fits whole, and the columns
    // keep the proportions of the drawn layout (145 : 47 : 62); the picture moves along.
    const QFontMetrics metrics(List().font());
    EXPECT_GE(List().columnWidth(0),
              metrics.horizontalAdvance("  KEL 7 Recipe Batcher") + List().iconSize().width());
    EXPECT_GE(List().columnWidth(0), 145);
    EXPECT_NEAR(List().columnWidth(1) * 145.0 / List().columnWidth(0), 47, 1);
    EXPECT_NEAR(List().columnWidth(2) * 145.0 / List().columnWidth(0), 62, 1);
    EXPECT_GE(List().width(),
              List().columnWidth(0) + List().columnWidth(1) + List().columnWidth(2));
    EXPECT_EQ(View().PictureX(), List().width() + 40);
    EXPECT_EQ(List().height(), View().height());
    EXPECT_EQ(List().topLevelItem(2)->text(1), "9");
    EXPECT_EQ(List().topLevelItem(2)->data(0, Qt::UserRole).toInt(), 9);

    Poll(2);
    EXPECT_EQ(List().topLevelItem(0)->text(0), "  KEL 7 Recipe Batcher");
    EXPECT_EQ(List().topLevelItem(0)->text(2), "    12.5");
    EXPECT_EQ(List().topLevelItem(1)->text(0), "  KEL 7");
    EXPECT_EQ(List().topLevelItem(2)->text(0), "");
    EXPECT_EQ(List().topLevelItem(2)->text(2), "");
    EXPECT_FALSE(List().topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(prompter_.Boxes().empty()); // polling never talks
}

TEST_F(FrameTest, AWeightChangeRewritesOnlyTheValueColumn) {
    Kel7(1);
    Watch({1});
    Start();
    Poll(1);
    ASSERT_EQ(List().topLevelItem(0)->text(2), "    12.5");
    std::vector<int> touchedColumns;
    QObject::connect(List().model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         for (int c = from.column(); c <= to.column(); ++c)
                             touchedColumns.push_back(c);
                     });
    bus_.WithModel<sim::Kel7Model>(1, [](sim::Kel7Model& m) { m.SetLoad(40.0); });
    Poll(1);
    EXPECT_EQ(List().topLevelItem(0)->text(2), "    40.0");
    // The name and the image stay as they were: only the value cell is written.
    EXPECT_EQ(touchedColumns, std::vector<int>{2});
}

TEST_F(FrameTest, MenuToolbarAndPrompts) {
    Start();
    QAction* instruments = frame_->Action(CMainFrame::kInstruments);
    EXPECT_EQ(instruments->text(), "&Instruments....");
    EXPECT_EQ(instruments->statusTip(), "Select/search instruments to view in main window");
    EXPECT_EQ(instruments->toolTip(), "Instruments to view");
    // Every command where the menu bar puts it, with its prompt and tooltip.
    struct Row {
        const char* menu;
        CMainFrame::Command command;
        const char* text;
        const char* prompt;
        const char* tooltip;
    };
    const Row table[] = {
        {"&File", CMainFrame::kEditSetupFile, "&Edit set-up file…",
         "Edit a set-up file away from the instrument and save it as a new file",
         "Edit set-up file"},
        {"&File", CMainFrame::kExit, "E&xit", "Quit the application", "Exit"},
        {"&View", CMainFrame::kToolbar, "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar"},
        {"&View", CMainFrame::kStatusBar, "&Status Bar", "Show or hide the status bar",
         "Toggle StatusBar"},
        {"&View", CMainFrame::kInstruments, "&Instruments....",
         "Select/search instruments to view in main window", "Instruments to view"},
        {"&View", CMainFrame::kBusTraffic, "&Bus traffic",
         "Show every request and answer on the bus with its timing", "Bus traffic"},
        {"&Options", CMainFrame::kCommParams, "&Communication parameters",
         "Change communication parameters", "Communication parameters"},
        {"&Instrument", CMainFrame::kSelectInstrument, "Select &instrument...",
         "Select one instrument address", "Select one instrument"},
        {"&Instrument", CMainFrame::kSetupFiles, "&Set-up files", "Display/print set-up files",
         "Display/print set-up files"},
        {"&Instrument", CMainFrame::kCommTester, "&Communication tester", "", nullptr},
        {"&Instrument", CMainFrame::kUpgrade, "Instrument software &upgrade", "", nullptr},
        {"&Help", CMainFrame::kAbout, "&About Quarnex...",
         "Display program information, version number and copyright", "About"},
    };
    QStringList menus;
    for (QAction* m : frame_->menuBar()->actions())
        menus << m->text();
    EXPECT_EQ(menus, QStringList({"&File", "&View", "&Options", "&Instrument", "&Help"}));
    QStringList order;
    for (QAction* m : frame_->menuBar()->actions())
        for (QAction* a : m->menu()->actions())
            if (!a->isSeparator())
                order << a->text();
    QStringList expectedOrder;
    for (const Row& r : table) {
        expectedOrder << r.text;
        QAction* action = frame_->Action(r.command);
        EXPECT_EQ(action->text(), r.text);
        EXPECT_EQ(action->statusTip(), r.prompt) << r.text;
        if (r.tooltip) {
            EXPECT_EQ(action->toolTip(), r.tooltip) << r.text;
        }
        bool inItsMenu = false;
        for (QAction* m : frame_->menuBar()->actions())
            if (m->text() == r.menu)
                inItsMenu = m->menu()->actions().contains(action);
        EXPECT_TRUE(inItsMenu) << r.text;
    }
    EXPECT_EQ(order, expectedOrder);
    for (auto c : {CMainFrame::kSelectInstrument, CMainFrame::kSetupFiles, CMainFrame::kCommTester,
                   CMainFrame::kUpgrade})
        EXPECT_TRUE(frame_->Action(c)->isEnabled()) << c;

    const QList<QAction*> tools = frame_->ToolBar()->actions();
    ASSERT_EQ(tools.size(), 6);
    EXPECT_EQ(tools[0], instruments);
    EXPECT_EQ(tools[1], frame_->Action(CMainFrame::kCommParams));
    EXPECT_EQ(tools[2], frame_->Action(CMainFrame::kSelectInstrument));
    EXPECT_EQ(tools[3], frame_->Action(CMainFrame::kSetupFiles));
    EXPECT_TRUE(tools[4]->isSeparator());
    EXPECT_EQ(tools[5], frame_->Action(CMainFrame::kAbout));

    frame_->Action(CMainFrame::kToolbar)->trigger();
    EXPECT_FALSE(frame_->ToolBar()->isVisible());
    frame_->Action(CMainFrame::kStatusBar)->trigger();
    EXPECT_FALSE(frame_->statusBar()->isVisible());
}

TEST_F(FrameTest, SetupFilesCommandOpensTheViewerWithTheFrameFileChooser) {
    Start();
    ScriptedFileChooser chooser;
    frame_->SetFileChooser(&chooser);
    bool opened = false;
    WhenModal<CSetupViewerDlg>([&](CSetupViewerDlg& viewer) {
        opened = true;
        EXPECT_EQ(viewer.windowTitle(), "View set-up file contents");
        EXPECT_FALSE(viewer.PrintButton()->isEnabled());
        viewer.OnSelectFile(); // cancelled: the window stays as it was
        EXPECT_FALSE(viewer.PrintButton()->isEnabled());
        viewer.reject();
    });
    frame_->Action(CMainFrame::kSetupFiles)->trigger();
    EXPECT_TRUE(opened);
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_FALSE(chooser.Requests()[0].save);
    frame_->SetFileChooser(nullptr);
}

TEST_F(FrameTest, MissingDeviceShowsThePortMessageOnceThenTheWindow) {
    profile_.WriteString("Serial Devices", "COM1", "/dev/quarnex-no-such-port");
    Kel7(1);
    Watch({1});
    Start();
    ASSERT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(prompter_.Boxes()[0].icon, Prompter::Icon::Error);
    EXPECT_EQ(prompter_.Boxes()[0].text.rfind("Can not open serial communication port.\n", 0), 0u);
    EXPECT_NE(prompter_.Boxes()[0].text.find("/dev/quarnex-no-such-port"), std::string::npos);
    EXPECT_TRUE(frame_->isVisible());
    Poll(5);
    EXPECT_EQ(prompter_.Boxes().size(), 1u);
    EXPECT_EQ(List().topLevelItem(0)->text(0), "");
}

TEST_F(FrameTest, SettingsDialogRefusesABadTimeoutAndCancelTouchesNothing) {
    Start();
    bool checked = false;
    WhenModal<CCommSetupDlg>([&](CCommSetupDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Communication set-up");
        EXPECT_FALSE(View().TimerActive()); // no poll while the dialog is up
        EXPECT_EQ(dialog.BaudGroup()->checkedId(), 9);
        // The focus is on the checked button of each group, so the arrow keys change the choice.
        // The arrow keys act on the application's focus, which needs the window active. No
        // ASSERT here: the dialog must still be closed below, or the test would hang in it.
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog, 30000));
        EXPECT_EQ(dialog.focusWidget(), dialog.BaudGroup()->checkedButton());
        if (dialog.focusWidget() == dialog.BaudGroup()->checkedButton()) {
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Left);
            EXPECT_EQ(dialog.BaudGroup()->checkedId(), 8);
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Right);
            EXPECT_EQ(dialog.BaudGroup()->checkedId(), 9);
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(dialog.focusWidget(), dialog.ParityGroup()->checkedButton());
        }
        EXPECT_EQ(dialog.DeviceEdit()->text().toStdString(), bus_.DevicePath());
        for (const char* bad : {"1001", "abc"}) {
            dialog.TimeoutEdit()->setText(bad);
            ButtonWithText(dialog, "OK")->click();
            EXPECT_TRUE(dialog.isVisible()) << bad;
            EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 0 and 1000.");
        }
        dialog.BaudGroup()->button(0)->click();
        dialog.PortGroup()->button(4)->click();
        ButtonWithText(dialog, "Cancel")->click();
        checked = true;
    });
    frame_->Action(CMainFrame::kCommParams)->trigger();
    ASSERT_TRUE(checked);
    EXPECT_TRUE(View().TimerActive());
    EXPECT_EQ(frame_->Bus().Settings().BaudRate(), 115200);
    EXPECT_EQ(frame_->Bus().Settings().PortNumber(), 1);
    EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 115200);
    EXPECT_FALSE(profile_.HasKey("Comm Param", "Com Port"));
}

// The same bus reached through a serial device server: the dialog switches the link, the view
// finds the instrument over it and the caption and status bar say which link is in use.
TEST_F(FrameTest, SettingsDialogSwitchesToRtuOverTcp) {
    Kel7(1);
    Watch({1});
    Start();
    std::string error;
    const int port = bus_.ServeNetwork(sim::NetKind::RtuOverTcp, "127.0.0.1", 0, error);
    ASSERT_NE(port, 0) << error;
    bool confirmed = false;
    WhenModal<CCommSetupDlg>([&](CCommSetupDlg& dialog) {
        dialog.LinkGroup()->button(1)->click();
        EXPECT_FALSE(dialog.DeviceEdit()->isEnabled());
        dialog.HostEdit()->setText("");
        ButtonWithText(dialog, "OK")->click();
        EXPECT_EQ(prompter_.LastText(), "Please enter the host name or address of the gateway.");
        dialog.HostEdit()->setText("127.0.0.1");
        dialog.TcpPortEdit()->setText(QString::number(port));
        dialog.ResponseTimeoutEdit()->setText("10000");
        ButtonWithText(dialog, "OK")->click();
        confirmed = !dialog.isVisible();
    });
    frame_->Action(CMainFrame::kCommParams)->trigger();
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(profile_.GetString("Comm Param", "Link", ""), "tcp");
    const std::string link = "tcp://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(frame_->windowTitle().toStdString(), link + " - Quarnex");
    bus_.ClearRequests();
    Poll(1);
    EXPECT_EQ(List().topLevelItem(0)->text(0), "  KEL 7 Recipe Batcher");
    EXPECT_GT(bus_.RequestCount(1), 0u);
}

TEST_F(FrameTest, SettingsDialogOkSavesReopensAndStartsOver) {
    Kel7(1);
    Watch({1});
    Start();
    Poll(1);
    ASSERT_EQ(List().topLevelItem(0)->text(0), "  KEL 7 Recipe Batcher");
    bool confirmed = false;
    WhenModal<CCommSetupDlg>([&](CCommSetupDlg& dialog) {
        dialog.BaudGroup()->button(5)->click(); // 9600
        dialog.ParityGroup()->button(1)->click();
        dialog.TimeoutEdit()->setText("25");
        ButtonWithText(dialog, "OK")->click();
        confirmed = !dialog.isVisible();
    });
    frame_->Action(CMainFrame::kCommParams)->trigger();
    ASSERT_TRUE(confirmed);
    EXPECT_TRUE(prompter_.Boxes().empty());
    EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 9600);
    EXPECT_EQ(profile_.GetString("Comm Param", "Parity", ""), "E");
    EXPECT_EQ(profile_.GetInt("Comm Param", "Additional rec. timeout", 0), 25);
    EXPECT_EQ(SerialOf(frame_->Bus()).ModeString(), "baud=9600 parity=E data=8 stop=2");
    EXPECT_EQ(List().topLevelItem(0)->text(0), "  "); // reset: nothing known until polled
    EXPECT_TRUE(View().Logic().State(1).absent);
    Poll(1);
    EXPECT_EQ(List().topLevelItem(0)->text(0), "  KEL 7 Recipe Batcher");
}

TEST_F(FrameTest, InstrumentsSheetSearchesAndOkReplacesTheWatchedSet) {
    Kel7(3);
    Kel7(17);
    Watch({1, 150});
    Start();
    frame_->Bus().Link().SetReceiveMargin(20);
    bool searched = false;
    WhenModal<CInstrToViewPropSheet>([&](CInstrToViewPropSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Instruments to view (addresses)");
        EXPECT_EQ(sheet.Tabs()->count(), 4);
        EXPECT_EQ(sheet.Tabs()->tabText(0), "1 - 100");
        EXPECT_EQ(sheet.Tabs()->tabText(3), "Search for instruments");
        EXPECT_TRUE(sheet.AddressPage(0)->Box(1)->isChecked());
        sheet.Tabs()->setCurrentIndex(1);
        EXPECT_TRUE(sheet.AddressPage(1)->Box(150)->isChecked());
        sheet.Tabs()->setCurrentIndex(3);
        // The search, stopped once address 20 has been asked.
        sheet.SetSearchDialogHook([&](CInstrumentSearchDlg& search) {
            EXPECT_EQ(search.windowTitle(), "Instrument search");
            EXPECT_EQ(search.FoundField()->text(), "0");
            while (search.Search().LastAsked() < 20)
                search.OnTimer();
            EXPECT_EQ(search.AddressField()->text(), "20");
            EXPECT_EQ(search.FoundField()->text(), "2");
            search.StopButton()->click();
            searched = true;
            return true;
        });
        sheet.SearchPage()->SearchButton()->click();
        EXPECT_EQ(sheet.SearchPage()->FoundField()->text(), "2");
        sheet.Tabs()->setCurrentIndex(0);
        EXPECT_FALSE(sheet.AddressPage(0)->Box(1)->isChecked());
        EXPECT_TRUE(sheet.AddressPage(0)->Box(3)->isChecked());
        EXPECT_TRUE(sheet.AddressPage(0)->Box(17)->isChecked());
        sheet.AddressPage(0)->Box(5)->setChecked(true); // read back on OK
        ButtonWithText(sheet, "OK")->click();
    });
    frame_->Action(CMainFrame::kInstruments)->trigger();
    ASSERT_TRUE(searched);
    const AddressFlags watched = LoadWatchedSet(profile_);
    EXPECT_EQ(CountFlags(watched), 3);
    EXPECT_TRUE(watched[3] && watched[5] && watched[17]);
    ASSERT_EQ(List().topLevelItemCount(), 3);
    EXPECT_EQ(List().topLevelItem(1)->text(1), "5");
    EXPECT_TRUE(View().TimerActive());
}

// An instrument set to 19200 E years ago: the search's "Find settings" finds it, and Yes makes
// those the bus's settings, saved as "Communication parameters" saves them.
TEST_F(FrameTest, FindSettingsInTheSearchFindsTheBusAndTakesItsSettings) {
    Kel7(17);
    bus_.SetLineSettings(17, {19200, 'E'});
    Watch({17});
    Start();
    bool searched = false;
    WhenModal<CInstrToViewPropSheet>([&](CInstrToViewPropSheet& sheet) {
        sheet.Tabs()->setCurrentIndex(3);
        sheet.SetSearchDialogHook([&](CInstrumentSearchDlg& search) {
            EXPECT_FALSE(search.FindSettingsButton()->isHidden());
            EXPECT_TRUE(search.FindSettingsButton()->isEnabled());
            prompter_.Answer(true);
            search.FindSettingsButton()->click();
            EXPECT_FALSE(search.FindSettingsButton()->isEnabled());
            EXPECT_FALSE(search.SettingsProgress()->isHidden());
            for (int i = 0; i < 2000 && search.Finder(); ++i)
                search.OnSettingsTimer();
            EXPECT_EQ(search.Finder(), nullptr);
            EXPECT_EQ(search.SettingsNote()->text().toStdString(),
                      "1 instrument at 19200 baud, parity E: 17\nOther settings were not tried.");
            EXPECT_EQ(prompter_.LastText().rfind("1 instrument at 19200 baud, parity E: 17\n\n"
                                                 "Use 19200 baud, parity E for this bus?",
                                                 0),
                      0u)
                << prompter_.LastText();
            // The addresses asked at the old settings are asked again at the new ones.
            EXPECT_EQ(search.Search().LastAsked(), 0);
            EXPECT_EQ(search.SettingsProgress()->value(), 0);
            EXPECT_TRUE(search.FindSettingsButton()->isEnabled());
            search.CancelButton()->click(); // the watched set stays; the settings taken stay too
            searched = true;
            return true;
        });
        sheet.SearchPage()->SearchButton()->click();
        ButtonWithText(sheet, "OK")->click();
    });
    frame_->Action(CMainFrame::kInstruments)->trigger();
    ASSERT_TRUE(searched);
    EXPECT_EQ(frame_->Bus().Settings().BaudRate(), 19200);
    EXPECT_EQ(profile_.GetInt("Comm Param", "Baud", 0), 19200);
    EXPECT_EQ(profile_.GetString("Comm Param", "Parity", ""), "E");
    Poll(2);
    ASSERT_EQ(List().topLevelItemCount(), 1);
    EXPECT_EQ(List().topLevelItem(0)->text(1), "17");
}

TEST_F(FrameTest, CancelledSheetAndCancelledSearchChangeNothing) {
    Kel7(3);
    Watch({1, 150});
    Start();
    frame_->Bus().Link().SetReceiveMargin(20);
    WhenModal<CInstrToViewPropSheet>([&](CInstrToViewPropSheet& sheet) {
        sheet.Tabs()->setCurrentIndex(3);
        sheet.SetSearchDialogHook([&](CInstrumentSearchDlg& search) {
            for (int i = 0; i < 5; ++i)
                search.OnTimer();
            search.CancelButton()->click();
            return true;
        });
        sheet.SearchPage()->SearchButton()->click();
        EXPECT_EQ(sheet.SearchPage()->FoundField()->text(), "0");
        sheet.Tabs()->setCurrentIndex(0);
        EXPECT_TRUE(sheet.AddressPage(0)->Box(1)->isChecked());
        EXPECT_FALSE(sheet.AddressPage(0)->Box(3)->isChecked());
        sheet.AddressPage(0)->Box(2)->setChecked(true);
        ButtonWithText(sheet, "Cancel")->click();
    });
    frame_->Action(CMainFrame::kInstruments)->trigger();
    EXPECT_EQ(LoadWatchedSet(profile_)[2], false);
    EXPECT_EQ(List().topLevelItemCount(), 2);
}

TEST_F(FrameTest, DoubleClickAndSelectInstrumentOpenThePanelOfARecipeBatcher) {
    Kel7(1);
    Kel7(2, 1300);
    Watch({1, 2});
    Start();
    std::vector<int> opened;
    View().SetPanelOpener([&](int address) {
        EXPECT_FALSE(View().TimerActive());
        opened.push_back(address);
    });
    Poll(1);
    QTreeWidgetItem* first = List().topLevelItem(0);
    List().setCurrentItem(first);
    emit List().itemDoubleClicked(first, 0);
    EXPECT_EQ(opened, std::vector<int>{1});
    List().setCurrentItem(List().topLevelItem(1));
    emit List().itemDoubleClicked(List().topLevelItem(1), 0);
    EXPECT_EQ(opened.size(), 1u);
    // Enter on the selected row does what a double-click does.
    List().setCurrentItem(first);
    QTest::keyClick(&List(), Qt::Key_Return);
    EXPECT_EQ(opened, (std::vector<int>{1, 1}));
    prompter_.Clear();
    List().setCurrentItem(List().topLevelItem(1));
    QTest::keyClick(&List(), Qt::Key_Enter);
    EXPECT_EQ(prompter_.LastText(), "Selected instrument is NOT supported by this program !");
    opened.clear();
    EXPECT_EQ(prompter_.LastText(), "Selected instrument is NOT supported by this program !");
    EXPECT_TRUE(View().TimerActive());

    bool ranStopped = false;
    View().RunWithPollingStopped([&] { ranStopped = !View().TimerActive(); });
    EXPECT_TRUE(ranStopped);
    EXPECT_TRUE(View().TimerActive());

    View().SetInstrumentSelector([](int& address, InstrumentType& type) {
        address = 1;
        type = itype::kKel7;
        return true;
    });
    frame_->Action(CMainFrame::kSelectInstrument)->trigger();
    EXPECT_EQ(opened, (std::vector<int>{1}));
    EXPECT_TRUE(View().TimerActive());
}

TEST_F(FrameTest, ThePanelGetsTheSetupSheetAndTheBackupAndRestoreWindows) {
    Kel7(1);
    Watch({1});
    Start();
    // Every button of the panel that opens a window has its window behind it; a hook left
    // empty would leave the button disabled on every instrument.
    const PanelHooks& hooks = View().GetPanelHooks();
    EXPECT_TRUE(hooks.setupSheet);
    EXPECT_TRUE(hooks.batchingSheet);
    EXPECT_TRUE(hooks.backup);
    EXPECT_TRUE(hooks.restore);
}

TEST_F(FrameTest, RunningAndClosingWritesNothingToTheProfile) {
    char folder[] = "/tmp/quarnex-gui-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/quarnex.ini";
    {
        Profile file(path);
        file.WriteString("Serial Devices", "COM1", bus_.DevicePath());
        file.WriteInt("Instr to view", "1", 1);
    }
    auto read = [&] {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = read();
    Kel7(1);
    {
        Profile file(path);
        CMainFrame frame(file, &prompter_, BusSession::Mode::Inline);
        ASSERT_TRUE(frame.Create());
        frame.show();
        for (int i = 0; i < 3; ++i)
            frame.View()->OnTimer();
        frame.Action(CMainFrame::kExit)->trigger();
        EXPECT_FALSE(frame.isVisible());
    }
    EXPECT_EQ(read(), before);
    std::remove(path.c_str());
    rmdir(folder);
}

TEST_F(FrameTest, AboutShowsTheCompiledInVersion) {
    EXPECT_EQ(CAboutDlg::VersionText(nullptr), "????");
    EXPECT_EQ(CAboutDlg::VersionText(""), "????");
    EXPECT_EQ(CAboutDlg::VersionText("2.4.1"), "2.4.1");
    EXPECT_NE(CAboutDlg::ProgramVersion(), "????");
    Start();
    bool shown = false;
    WhenModal<CAboutDlg>([&](CAboutDlg& about) {
        EXPECT_EQ(about.windowTitle(), "About Quarnex");
        auto* version = about.findChild<QLabel*>("version");
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text().toStdString(), CAboutDlg::ProgramVersion());
        shown = true;
        about.accept();
    });
    frame_->Action(CMainFrame::kAbout)->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(FrameTest, ClickOrKeyDuringTheSplashOnlyClosesIt) {
    Start();
    CSplashWnd::EnableSplashScreen(true);
    QPushButton target("target");
    target.show();
    int clicks = 0;
    QObject::connect(&target, &QPushButton::clicked, [&] { ++clicks; });

    CSplashWnd::ShowSplashScreen(frame_.get());
    ASSERT_NE(CSplashWnd::Current(), nullptr);
    CSplashWnd::ShowSplashScreen(frame_.get()); // already up: not a second one
    QTest::mouseClick(&target, Qt::LeftButton);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&target, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);

    CSplashWnd::ShowSplashScreen(frame_.get());
    ASSERT_NE(CSplashWnd::Current(), nullptr);
    QTest::keyClick(&target, Qt::Key_Space);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    EXPECT_EQ(clicks, 1);
    CSplashWnd::EnableSplashScreen(false);
}

// Started without any display, the program says what to do instead of aborting.
TEST(ProgramStart, WithoutADisplayItSaysWhatToDo) {
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                          std::string(QUARNEX_APP_BINARY) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << ' ' << out;
    EXPECT_EQ(out, "quarnex: no display: set DISPLAY or run under xvfb-run\n");
}

// quarnex-cli check --report has the program draw a record's report, with no display at all; a
// damaged record is named, and no PDF is left.
TEST(ProgramStart, DrawsACheckReportWithoutADisplay) {
    QTemporaryDir dir;
    const std::string pdf = dir.filePath("report.pdf").toStdString();
    const std::string damaged = dir.filePath("damaged.txt").toStdString();
    std::ofstream(damaged) << "not a check record\n";
    const auto run = [](const std::string& record, const std::string& out) {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                    std::string(QUARNEX_APP_BINARY) + " --check-report '" + record +
                                    "' '" + out + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string text;
        char buffer[256];
        while (pipe && fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        const int status = pipe ? pclose(pipe) : -1;
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, text);
    };
    const auto [code, text] = run(QUARNEX_CHECK_RECORD, pdf);
    EXPECT_EQ(code, 0) << text;
    std::ifstream in(pdf, std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");

    const std::string second = dir.filePath("second.pdf").toStdString();
    const auto [badCode, badText] = run(damaged, second);
    EXPECT_EQ(badCode, 1);
    EXPECT_NE(badText.find("quarnex: "), std::string::npos) << badText;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(second)));
}

} // namespace
} // namespace quarnex::test

namespace quarnex::test {
namespace {

// The program as it runs: the bus session on its own thread, its results coming back through the
// event loop, behind a Modbus TCP gateway that stays silent for two of the watched addresses. The
// polls' results are rendered, the silent addresses show absent, and a window that talks to the
// bus opens from the event loop once the poll that is out has come back. (How long the window
// thread stalls is measured by quarnex-bench-session-stall.)
TEST_F(FrameTest, TheThreadedSessionRendersPollsAndOpensWindowsFromTheEventLoop) {
    Kel7(1);
    Watch({1, 2, 3});
    std::string error;
    const int port = bus_.ServeNetwork(sim::NetKind::ModbusTcp, "127.0.0.1", 0, error);
    ASSERT_NE(port, 0) << error;
    profile_.WriteString("Comm Param", "Link", "mbap");
    profile_.WriteString("Comm Param", "Host", "127.0.0.1");
    profile_.WriteInt("Comm Param", "TCP Port", port);
    frame_ = std::make_unique<CMainFrame>(profile_, &prompter_);
    ASSERT_TRUE(frame_->Create());
    frame_->show();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return bus_.RequestCount(2) >= 1 && bus_.RequestCount(3) >= 1 &&
                   List().topLevelItemCount() == 3 && List().topLevelItem(0)->text(0) != "  ";
        },
        60000));
    EXPECT_EQ(List().topLevelItem(0)->text(0).trimmed().toStdString(), "KEL 7 Recipe Batcher");
    // A window that talks to the bus opens once the poll out has come back, from the event loop.
    bool ran = false;
    View().RunWithPollingStopped([&] { ran = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return View().TimerActive(); }, 30000));
    EXPECT_TRUE(prompter_.Boxes().empty());
}

} // namespace
} // namespace quarnex::test
