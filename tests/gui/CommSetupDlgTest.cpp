// The device field of the "Communication set-up" dialog and the status bar's note when nothing
// answers, on the offscreen platform: a fake device tree, and the simulated bus with no
// instrument where the main view looks.
#include "support/BusFixture.h"
#include "support/FakePortTree.h"
#include "support/QtTestSupport.h"

#include "app/CCommSetupDlg.h"
#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSplashWnd.h"
#include "demo/DemoSession.h"
#include "monitor/WatchedSet.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>

namespace quarnex::test {
namespace {

class CommSetupDlgTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        tree_.Build();
    }
    FakePortTree tree_;
};

TEST_F(CommSetupDlgTest, ListsTheDevicesFoundAndTheCurrentPathAndSaysWhatIsBehindOne) {
    CommSettings settings;
    settings.Load(profile_);
    const std::string pty = settings.DevicePath(); // the simulated bus: no device discovery lists
    CCommSetupDlg dialog(settings, profile_, prompter_, nullptr, [this] {
        return DiscoverSerialDevices(tree_.Roots(), PortUser::Current(), false);
    });
    QComboBox& devices = *dialog.DeviceChoice();
    QStringList listed;
    for (int i = 0; i < devices.count(); ++i)
        listed << devices.itemText(i);
    EXPECT_EQ(listed, (QStringList{QString::fromStdString(pty),
                                   QString::fromStdString(tree_.Dev(FakePortTree::kFtdiById)),
                                   QString::fromStdString(tree_.Dev("ttyUSB1")),
                                   QString::fromStdString(tree_.Dev("ttyUSB10")),
                                   QString::fromStdString(tree_.Dev("ttyACM0")),
                                   QString::fromStdString(tree_.Dev("ttyS0")),
                                   QString::fromStdString(tree_.Dev("ttyS4"))}));
    EXPECT_EQ(dialog.DeviceEdit()->text().toStdString(), pty);
    EXPECT_EQ(devices.itemData(1, Qt::ToolTipRole).toString(),
              "FTDI FT232R USB UART, serial A10K3B2C (0403:6001)");
    EXPECT_EQ(dialog.DeviceNote()->text(), "");
    // The line's character format as the port is opened: two stop bits.
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == "&Stop bits:") {
            EXPECT_EQ(qobject_cast<QLabel*>(label->buddy())->text(), "2");
        }
    }

    // Choosing the locked device says who holds it; typing a path that is not there says so.
    devices.setCurrentIndex(4);
    EXPECT_EQ(dialog.DeviceEdit()->text().toStdString(), tree_.Dev("ttyACM0"));
    EXPECT_TRUE(dialog.DeviceNote()->text().contains("In use by minicom"))
        << dialog.DeviceNote()->text().toStdString();
    dialog.DeviceEdit()->setText("/dev/quarnex-no-such-port");
    EXPECT_TRUE(
        dialog.DeviceNote()->text().startsWith("/dev/quarnex-no-such-port does not exist."));

    // The choice is what OK saves for the COM number.
    devices.setCurrentIndex(1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.DevicePath(), tree_.Dev(FakePortTree::kFtdiById));
    EXPECT_EQ(profile_.GetString("Serial Devices", "COM1", ""), settings.DevicePath());
}

TEST(CommSetupDlgDemo, TheDemoBusPseudoTerminalIsTheCurrentChoice) {
    App();
    CSplashWnd::EnableSplashScreen(false);
    DemoSession demo;
    std::string error;
    ASSERT_TRUE(demo.Start(error)) << error;
    {
        ScriptedPrompter prompter;
        CMainFrame frame(demo.DemoProfile(), &prompter, BusSession::Mode::Inline);
        ASSERT_TRUE(frame.Create());
        const QString pty = QString::fromStdString(frame.Bus().Settings().DevicePath());
        ASSERT_TRUE(pty.startsWith("/dev/pts/")) << pty.toStdString();
        bool seen = false;
        WhenModal<CCommSetupDlg>([&](CCommSetupDlg& dialog) {
            // Discovery of this machine never lists a pseudo-terminal; the dialog still does.
            EXPECT_EQ(dialog.DeviceChoice()->itemText(0), pty);
            EXPECT_EQ(dialog.DeviceEdit()->text(), pty);
            EXPECT_FALSE(dialog.DeviceNote()->text().contains("does not exist"));
            seen = true;
            dialog.reject();
        });
        frame.Action(CMainFrame::kCommParams)->trigger();
        EXPECT_TRUE(seen);
        EXPECT_TRUE(prompter.Boxes().empty());
    }
    demo.Stop();
}

TEST_F(CommSetupDlgTest, StatusBarExplainsOnceWhenNothingAnswersAndForgetsItAtAnAnswer) {
    CSplashWnd::EnableSplashScreen(false);
    profile_.WriteInt("Comm Param", "Baud", 115200);
    AddressFlags watched{};
    watched[3] = true;
    SaveWatchedSet(profile_, watched);
    CMainFrame frame(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame.Create());
    frame.show();
    QSignalSpy notes(frame.View(), &CQuarnexView::StatusNoteChanged);
    QLabel* line = nullptr;
    for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
        if (label->text() == "Ready")
            line = label;
    ASSERT_NE(line, nullptr);

    for (int i = 0; i < 40; ++i)
        frame.View()->OnTimer();
    EXPECT_EQ(notes.count(), 1);
    EXPECT_TRUE(line->text().startsWith("No instrument answers on " +
                                        QString::fromStdString(bus_.DevicePath()) +
                                        " (115200 baud, parity N"))
        << line->text().toStdString();
    EXPECT_TRUE(line->text().contains("no other program holds the port"));

    auto kel7 = AddBank(3); // a KEL 7 appears where the view looks
    kel7->AddBlock(393, 2);
    kel7->Set(0, 2003);
    kel7->SetFloat(393, 1310.0f);
    for (int i = 0; i < 400 && frame.View()->Logic().State(3).absent; ++i)
        frame.View()->OnTimer();
    ASSERT_FALSE(frame.View()->Logic().State(3).absent);
    EXPECT_EQ(line->text(), "Ready");
    EXPECT_EQ(notes.count(), 2);
}

} // namespace
} // namespace quarnex::test
